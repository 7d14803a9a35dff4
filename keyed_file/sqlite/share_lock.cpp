#include "keyed_file/sqlite/share_lock.h"

#include <utility>

namespace kvr::keyed {

namespace {

// Far beyond any page of the database and its lock bytes at 1 GiB.
constexpr std::uint64_t kBase = std::uint64_t(1) << 62;
constexpr std::uint64_t kOpenRead = kBase + 0;
constexpr std::uint64_t kOpenWrite = kBase + 1;
constexpr std::uint64_t kDenyRead = kBase + 2;
constexpr std::uint64_t kDenyWrite = kBase + 3;
constexpr std::uint64_t kWaiting = kBase + 4;

}  // namespace

ShareLock::~ShareLock() { release(); }

void ShareLock::markWaiting(bool waiting) {
    if (!locks_.isOpen()) return;
    int ignored = 0;
    if (waiting)
        (void)locks_.share(kWaiting, ignored);
    else
        locks_.unlock(kWaiting);
}

bool ShareLock::othersWaiting() {
    bool failed = false;
    int ignored = 0;
    return locks_.isOpen() && locks_.othersHold(kWaiting, failed, ignored);
}

void ShareLock::release() { locks_.close(); }

ShareLock::Result ShareLock::acquire(const std::string &path, bool write, bool denyRead, bool denyWrite,
                                     int &errnoValue) {
    release();
    ByteLocks file;
    if (const int e = file.open(path); e != 0) {
        errnoValue = e;
        return Result::Failed;
    }
    ByteLocks::Take taken = ByteLocks::Take::Ok;
    const auto take = [&](bool wanted, std::uint64_t at) {
        if (wanted && taken == ByteLocks::Take::Ok) taken = file.share(at, errnoValue);
    };
    take(true, kOpenRead);
    take(write, kOpenWrite);
    take(denyRead, kDenyRead);
    take(denyWrite, kDenyWrite);
    switch (taken) {
    case ByteLocks::Take::Ok: break;
    // None of ours holds a byte exclusively; report it as a conflict.
    case ByteLocks::Take::Busy: return Result::Conflict;
    case ByteLocks::Take::Unsupported: return Result::Ok;
    case ByteLocks::Take::Failed: return Result::Failed;
    }
    bool failed = false;
    const auto others = [&](std::uint64_t at) { return file.othersHold(at, failed, errnoValue); };
    const bool conflict = others(kDenyRead) || (write && others(kDenyWrite)) || (denyRead && others(kOpenRead)) ||
                          (denyWrite && others(kOpenWrite));
    if (failed) return Result::Failed;
    if (conflict) return Result::Conflict;
    locks_ = std::move(file);
    return Result::Ok;
}

}  // namespace kvr::keyed
