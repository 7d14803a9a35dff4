// WakePipe: a thread blocked in poll() on other descriptors also polls
// readFd(); wake() from any thread makes it readable and so ends the wait.
// Both ends are non-blocking and closed on exec; wakes that come before the
// wait are not lost, and drain() takes them back.
#ifndef KVR_COMMON_WAKE_PIPE_H
#define KVR_COMMON_WAKE_PIPE_H

#include <optional>

#include "common/unique_fd.h"

namespace kvr::common {

class WakePipe {
public:
    // A new pipe, or nothing (errno says why) when none can be made.
    [[nodiscard]] static std::optional<WakePipe> create();

    int readFd() const { return read_.get(); }

    // Makes readFd() readable; safe from any thread, never blocks.
    void wake() const;

    // Reads back every wake so far.
    void drain() const;

private:
    WakePipe(UniqueFd read, UniqueFd write) : read_(std::move(read)), write_(std::move(write)) {}
    UniqueFd read_;
    UniqueFd write_;
};

}  // namespace kvr::common

#endif
