// Windows: LockFileEx on a handle of the locks' own.  Windows has no call
// that asks who holds a byte, and a handle's own shared lock keeps out its
// own exclusive one, so othersHold asks by taking the byte exclusively
// without waiting, after setting aside this handle's own lock on it (then
// taken again).  Those questions take turns through a gate byte held
// exclusively meanwhile: otherwise two handles asking about the same byte
// at once could each set its lock aside while the other asks, and both
// see nobody.
#include "keyed_file/sqlite/byte_locks.h"

#include "keyed_file/win32_paths.h"

#include <windows.h>

#include <utility>

namespace kvr::keyed {

namespace {

// Below the sharing bytes (share_lock.cpp), far beyond any data and beyond
// the database's own lock bytes at 1 GiB.
constexpr std::uint64_t kGate = (std::uint64_t(1) << 62) - 1;

HANDLE handleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    place.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return place;
}

bool lockByte(HANDLE file, std::uint64_t offset, DWORD flags) {
    OVERLAPPED place = at(offset);
    return ::LockFileEx(file, flags, 0, 1, 0, &place) != 0;
}

bool unlockByte(HANDLE file, std::uint64_t offset) {
    OVERLAPPED place = at(offset);
    return ::UnlockFileEx(file, 0, 1, 0, &place) != 0;
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
    HANDLE file = ::CreateFileW(win32::widePath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return win32::errnoOf(::GetLastError());
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return 0;
}

void ByteLocks::close() {
    if (handle_ != kNone) ::CloseHandle(handleOf(std::exchange(handle_, kNone)));
}

ByteLocks::Take ByteLocks::share(std::uint64_t offset, int &error) {
    if (lockByte(handleOf(handle_), offset, LOCKFILE_FAIL_IMMEDIATELY)) return Take::Ok;
    const DWORD e = ::GetLastError();
    if (e == ERROR_LOCK_VIOLATION || e == ERROR_IO_PENDING) return Take::Busy;
    if (e == ERROR_NOT_SUPPORTED || e == ERROR_INVALID_FUNCTION) return Take::Unsupported;
    error = win32::errnoOf(e);
    return Take::Failed;
}

void ByteLocks::unlock(std::uint64_t offset) { unlockByte(handleOf(handle_), offset); }

bool ByteLocks::othersHold(std::uint64_t offset, bool &failed, int &error) {
    HANDLE file = handleOf(handle_);
    // The gate is held for a few calls only: waiting for it is short.
    if (!lockByte(file, kGate, LOCKFILE_EXCLUSIVE_LOCK)) {
        failed = true;
        error = win32::errnoOf(::GetLastError());
        return false;
    }
    constexpr DWORD kProbe = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    bool free = lockByte(file, offset, kProbe);
    bool ownSetAside = false;
    if (!free) {
        // Fails when this handle holds no lock on the byte.
        ownSetAside = unlockByte(file, offset);
        free = ownSetAside && lockByte(file, offset, kProbe);
    }
    if (free) unlockByte(file, offset);
    if (ownSetAside) lockByte(file, offset, LOCKFILE_FAIL_IMMEDIATELY);
    unlockByte(file, kGate);
    return !free;
}

}  // namespace kvr::keyed
