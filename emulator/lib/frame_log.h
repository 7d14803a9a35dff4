// The emulator's log: every frame received and sent, and every change of the
// lines, written as text lines (hex bytes) to a stream when there is one, and
// kept in memory when whoever embeds the emulator asks for it.  With neither,
// nothing is kept at all.
#ifndef KVR7X_EMU_FRAME_LOG_H
#define KVR7X_EMU_FRAME_LOG_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kvr7x::emu {

struct LogEntry {
    enum class Kind : uint8_t {
        FromHost,  // a command frame the reader received whole
        ToHost,    // a reply, reset answer, echo or noise the reader sent
        Line,      // a line or port change (RTS, DTR, purge, modem state...)
        Session,   // connections, refusals, dropped frames
    };
    std::chrono::steady_clock::time_point when;
    Kind kind;
    std::string what;            // "frame", "reply", "reset answer", "RTS on", ...
    std::vector<uint8_t> bytes;  // frame bytes, where there are any
};

class FrameLog {
public:
    // The memory log keeps the most recent entries: past kKeepMax it drops
    // the older half, so an emulator that runs for days stays small.
    static constexpr size_t kKeepMax = 100000;

    // Lines go to `stream` (not owned, may be null).
    void setStream(std::FILE *stream) { stream_ = stream; }
    // Entries are kept in memory (the default) or not.
    void setKeep(bool keep) { keep_ = keep; }
    // Whether an entry added now goes anywhere.
    bool active() const {
        std::lock_guard lock(mutex_);
        return keep_ || stream_;
    }

    void add(LogEntry::Kind kind, std::string what, std::vector<uint8_t> bytes = {});
    std::vector<LogEntry> entries() const;
    void clear();
    // Waits until `ready` holds for the entries or `limit` passes.
    [[nodiscard]] bool waitFor(const std::function<bool(const std::vector<LogEntry> &)> &ready,
                               std::chrono::milliseconds limit) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable added_;
    std::vector<LogEntry> entries_;
    std::FILE *stream_ = nullptr;
    bool keep_ = true;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace kvr7x::emu

#endif
