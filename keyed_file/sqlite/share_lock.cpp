#include "keyed_file/sqlite/share_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace kvr::keyed {

namespace {

// Far beyond any page of the database and its lock bytes at 1 GiB.
constexpr off_t kBase = off_t(1) << 62;
constexpr off_t kOpenRead = kBase + 0;
constexpr off_t kOpenWrite = kBase + 1;
constexpr off_t kDenyRead = kBase + 2;
constexpr off_t kDenyWrite = kBase + 3;
constexpr off_t kWaiting = kBase + 4;

bool lockByte(int fd, off_t at, short type = F_RDLCK) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = at;
    fl.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

// Whether a descriptor other than fd holds a lock on the byte.
bool othersHold(int fd, off_t at, bool &failed) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = at;
    fl.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &fl) != 0) {
        failed = true;
        return false;
    }
    return fl.l_type != F_UNLCK;
}

}  // namespace

ShareLock::~ShareLock() { release(); }

void ShareLock::markWaiting(bool waiting) {
    if (fd_) lockByte(fd_.get(), kWaiting, waiting ? F_RDLCK : F_UNLCK);
}

bool ShareLock::othersWaiting() const {
    bool failed = false;
    return fd_ && othersHold(fd_.get(), kWaiting, failed);
}

void ShareLock::release() { fd_.reset(); }

ShareLock::Result ShareLock::acquire(const std::string &path, bool write, bool denyRead, bool denyWrite,
                                     int &errnoValue) {
    release();
    common::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const int fd = file.get();
    if (!file) {
        errnoValue = errno;
        return Result::Failed;
    }
    bool ok = lockByte(fd, kOpenRead) && (!write || lockByte(fd, kOpenWrite)) &&
              (!denyRead || lockByte(fd, kDenyRead)) && (!denyWrite || lockByte(fd, kDenyWrite));
    if (!ok) {
        const int e = errno;
        // Taking a shared lock only fails when another process holds the
        // byte exclusively, which none of ours does; report it as a conflict.
        if (e == EAGAIN || e == EACCES) return Result::Conflict;
        // A file system without such locks: the file opens without sharing
        // rules rather than not at all.
        if (e == EINVAL || e == ENOLCK || e == EOPNOTSUPP) return Result::Ok;
        errnoValue = e;
        return Result::Failed;
    }
    bool failed = false;
    bool conflict = othersHold(fd, kDenyRead, failed) || (write && othersHold(fd, kDenyWrite, failed)) ||
                    (denyRead && othersHold(fd, kOpenRead, failed)) ||
                    (denyWrite && othersHold(fd, kOpenWrite, failed));
    if (failed) {
        errnoValue = errno;
        return Result::Failed;
    }
    if (conflict) return Result::Conflict;
    fd_ = std::move(file);
    return Result::Ok;
}

}  // namespace kvr::keyed
