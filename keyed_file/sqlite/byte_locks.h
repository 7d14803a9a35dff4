// Locks on single bytes of a file, held through a handle of their own and
// gone with it (also when the process is killed): the platform seam under
// the sharing modes (share_lock.h).  POSIX: open-file-description locks
// (F_OFD_SETLK, byte_locks_posix.cpp); Windows: LockFileEx and UnlockFileEx
// (byte_locks_win32.cpp).  Only shared locks are ever held, so a byte may
// have many holders.
#ifndef KVR_KEYED_SQLITE_BYTE_LOCKS_H
#define KVR_KEYED_SQLITE_BYTE_LOCKS_H

#include <cstdint>
#include <string>

namespace kvr::keyed {

class ByteLocks {
public:
    enum class Take {
        Ok,
        Busy,         // another handle holds the byte exclusively
        Unsupported,  // the file system has no such locks
        Failed,       // errno in `error`
    };

    ByteLocks() = default;
    ~ByteLocks() { close(); }
    ByteLocks(ByteLocks &&other) noexcept;
    ByteLocks &operator=(ByteLocks &&other) noexcept;
    ByteLocks(const ByteLocks &) = delete;
    ByteLocks &operator=(const ByteLocks &) = delete;

    // Opens path for its locks alone (for reading, sharing everything):
    // 0, or the errno value.
    int open(const std::string &path);
    // Releases every lock of the handle.
    void close();
    bool isOpen() const { return handle_ != kNone; }

    // A shared lock on the byte at `at`.
    Take share(std::uint64_t at, int &error);
    void unlock(std::uint64_t at);
    // Whether another handle holds a lock on the byte; false with `failed`
    // set (and errno in `error`) when it cannot be told.
    bool othersHold(std::uint64_t at, bool &failed, int &error);

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;  // the descriptor, or the HANDLE on Windows
};

}  // namespace kvr::keyed

#endif
