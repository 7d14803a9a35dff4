// A trace of the frames on the line, for an operator chasing a reader that
// misbehaves: with KVR7X_TRACE set to a file name (or to "stderr") every
// transaction and every reset writes what went out, what came back, how
// long it took and the result, one line per frame, each line stamped with
// the time of day (UTC, microseconds) and the process id.  Unset, the
// library writes nothing and the transaction pays one pointer test.
//
// The lines of one exchange are written together, so that two threads or
// two processes sharing a trace file never interleave inside an exchange.
#ifndef KVR7X_FRAME_TRACE_H
#define KVR7X_FRAME_TRACE_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#ifndef _WIN32
#include "common/append_log.h"
#endif

namespace kvr7x {

// One exchange as the trace tells it.  `sentData` is null when no data
// block went out; `replyData` is read only when the result is a STAT.
struct TracedExchange {
    bool isReset = false;
    uint8_t header[6] = {};
    const uint8_t *sentData = nullptr;
    size_t sentLen = 0;
    int32_t result = 0;
    uint8_t reply[4] = {};
    const uint8_t *replyData = nullptr;
    std::chrono::system_clock::time_point began;
    std::chrono::steady_clock::duration took{};
};

// The trace lines of an exchange, each ending in a newline.
std::string formatExchange(const TracedExchange &exchange, long pid);

// "HH:MM:SS.uuuuuu", UTC.
std::string timeOfDay(std::chrono::system_clock::time_point t);

class FrameTrace {
public:
    // Writes to `target`: "stderr", or a file opened for appending without
    // waiting (a FIFO without a reader is refused at once).  Tracing never
    // stops the reader from working, nor holds it up: a target that cannot
    // be used is one line on stderr and the trace stays silent; lines a
    // target cannot take at once (a FIFO whose reader stopped reading) are
    // dropped, which stderr tells once; a target that fails (a full disk)
    // ends the trace with one line on stderr.
    explicit FrameTrace(const std::string &target);
    ~FrameTrace();
    FrameTrace(const FrameTrace &) = delete;
    FrameTrace &operator=(const FrameTrace &) = delete;

    bool writable() const;
    void write(const TracedExchange &exchange);

private:
    void writeLines(const std::string &text);

    std::mutex mutex_;
    std::string target_;
    std::FILE *out_ = nullptr;  // stderr, or the file on Windows
    bool ownsFile_ = false;
#ifndef _WIN32
    kvr::common::AppendLog log_;
    bool toldDropped_ = false;
#endif
};

// The trace KVR7X_TRACE asks for, read once per process; null when unset.
FrameTrace *processTrace();

}  // namespace kvr7x

#endif
