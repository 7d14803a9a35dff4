#include "common/wake_pipe.h"

#include <fcntl.h>
#include <unistd.h>

namespace kvr::common {

std::optional<WakePipe> WakePipe::create() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return std::nullopt;
    return WakePipe(UniqueFd(fds[0]), UniqueFd(fds[1]));
}

void WakePipe::wake() const {
    const char one = 1;
    // A full pipe already wakes the reader: nothing is lost when this fails.
    [[maybe_unused]] const ssize_t written = ::write(write_.get(), &one, 1);
}

void WakePipe::drain() const {
    char buffer[64];
    while (::read(read_.get(), buffer, sizeof buffer) > 0) {}
}

}  // namespace kvr::common
