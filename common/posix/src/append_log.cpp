#include "common/append_log.h"

#include <unistd.h>

#include <cerrno>

namespace kvr::common {

long AppendLog::put(std::string_view text, int &error) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd_.get(), text.data() + done, text.size() - done);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) break;
        error = errno;
        return -1;
    }
    return static_cast<long>(done);
}

AppendLog::Outcome AppendLog::append(std::string_view text, int &error) {
    if (!fd_) return Outcome::Dropped;
    if (!tail_.empty()) {
        const long n = put(tail_, error);
        if (n < 0) {
            close();
            return Outcome::Failed;
        }
        tail_.erase(0, static_cast<std::size_t>(n));
        if (!tail_.empty()) return Outcome::Dropped;
    }
    const long n = put(text, error);
    if (n < 0) {
        close();
        return Outcome::Failed;
    }
    if (n == 0 && !text.empty()) return Outcome::Dropped;
    tail_.assign(text.substr(static_cast<std::size_t>(n)));
    return Outcome::Written;
}

}  // namespace kvr::common
