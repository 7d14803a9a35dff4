#include "common/saved_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace kvr::common {

namespace {

// Writes all of text to fd, going on after partial writes and signals.
bool writeFully(int fd, const std::string &text, int &error) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool saveWholeFile(const std::string &path, const std::string &text, int &error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return false;
    }
    int failure = 0;
    const bool written = writeFully(fd, text, failure);
    // A full disk may only show when the data reaches it.
    if (written && ::fsync(fd) != 0 && errno != EINVAL) failure = errno;
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (!written || failure != 0) {
        error = failure;
        return false;
    }
    return true;
}

}  // namespace kvr::common
