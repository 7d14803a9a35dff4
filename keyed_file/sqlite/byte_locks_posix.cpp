#include "keyed_file/sqlite/byte_locks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace kvr::keyed {

namespace {

int fdOf(std::intptr_t handle) { return static_cast<int>(handle); }

int lockByte(int fd, std::uint64_t at, short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(at);
    fl.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &fl) == 0 ? 0 : errno;
}

}  // namespace

ByteLocks::ByteLocks(ByteLocks &&other) noexcept : handle_(std::exchange(other.handle_, kNone)) {}

ByteLocks &ByteLocks::operator=(ByteLocks &&other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, kNone);
    }
    return *this;
}

int ByteLocks::open(const std::string &path) {
    close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    handle_ = fd;
    return 0;
}

void ByteLocks::close() {
    if (handle_ != kNone) ::close(fdOf(std::exchange(handle_, kNone)));
}

ByteLocks::Take ByteLocks::share(std::uint64_t at, int &error) {
    const int e = lockByte(fdOf(handle_), at, F_RDLCK);
    if (e == 0) return Take::Ok;
    // Taking a shared lock only fails when another process holds the byte
    // exclusively.
    if (e == EAGAIN || e == EACCES) return Take::Busy;
    if (e == EINVAL || e == ENOLCK || e == EOPNOTSUPP) return Take::Unsupported;
    error = e;
    return Take::Failed;
}

void ByteLocks::unlock(std::uint64_t at) { lockByte(fdOf(handle_), at, F_UNLCK); }

bool ByteLocks::othersHold(std::uint64_t at, bool &failed, int &error) {
    // F_OFD_GETLK leaves out the locks of this open file description.
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(at);
    fl.l_len = 1;
    if (fcntl(fdOf(handle_), F_OFD_GETLK, &fl) != 0) {
        failed = true;
        error = errno;
        return false;
    }
    return fl.l_type != F_UNLCK;
}

}  // namespace kvr::keyed
