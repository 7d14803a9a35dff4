// A log that never holds up its program: lines are appended to a
// descriptor opened with openUserFile (non-blocking), and a line the target
// cannot take at once (a pipe whose reader stopped reading) is dropped
// rather than waited for.  What a write could not finish of a line is kept
// and goes first next time, so that a reader always sees whole lines.
#ifndef KVR_COMMON_APPEND_LOG_H
#define KVR_COMMON_APPEND_LOG_H

#include <string>
#include <string_view>

#include "common/unique_fd.h"

namespace kvr::common {

class AppendLog {
public:
    enum class Outcome {
        Written,  // the text went out (or its tail waits for the next write)
        Dropped,  // the target could not take it now: it is lost
        Failed,   // the target failed (errno in `error`); the log is closed
    };

    AppendLog() = default;
    explicit AppendLog(UniqueFd fd) : fd_(std::move(fd)) {}

    bool isOpen() const { return static_cast<bool>(fd_); }
    void close() {
        fd_.reset();
        tail_.clear();
    }

    // Appends `text` (one or more whole lines).
    Outcome append(std::string_view text, int &error);

private:
    // Writes what it can of `text`: the count written, or -1 on a failure
    // other than a full target.
    long put(std::string_view text, int &error);

    UniqueFd fd_;
    std::string tail_;
};

}  // namespace kvr::common

#endif
