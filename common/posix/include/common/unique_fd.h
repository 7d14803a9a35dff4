// UniqueFd: owns one POSIX file descriptor and closes it when it goes out
// of scope, so that error paths need no hand-written close().  Move-only; -1
// means none.
#ifndef KVR_COMMON_UNIQUE_FD_H
#define KVR_COMMON_UNIQUE_FD_H

#include <unistd.h>

#include <utility>

namespace kvr::common {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd &&other) noexcept : fd_(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

    // Gives the descriptor up without closing it.
    [[nodiscard]] int release() { return std::exchange(fd_, -1); }

    // Closes the descriptor held (its result is lost: use close() to see it)
    // and holds fd instead.
    void reset(int fd = -1) {
        const int old = std::exchange(fd_, fd);
        if (old >= 0) ::close(old);
    }

    // Closes the descriptor held; ::close's result (0, or -1 with errno).
    [[nodiscard]] int close() { return ::close(release()); }

private:
    int fd_ = -1;
};

}  // namespace kvr::common

#endif
