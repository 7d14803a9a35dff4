// Sharing modes of keyed files between processes.
//
// Every process that opens a file takes shared locks (byte_locks.h)
// on four bytes far beyond any data (and beyond the database's own lock
// bytes): "open for reading", "open for writing", "denies reading", "denies
// writing".  An opener first takes its own bytes and then looks for other
// holders of the bytes it conflicts with, so that of two racing openers at
// least one sees the other.  The locks vanish with the descriptor, also
// when a process is killed.
//
// A fifth byte, "waiting to write", makes writers take turns: a process
// that finds the file busy marks itself waiting, and a process about to
// start a write first lets marked waiters in.  Without it a process writing
// in a tight loop (an import) could keep others out past their time-out.
#ifndef KVR_KEYED_SQLITE_SHARE_LOCK_H
#define KVR_KEYED_SQLITE_SHARE_LOCK_H

#include <string>

#include "keyed_file/sqlite/byte_locks.h"

namespace kvr::keyed {

class ShareLock {
public:
    enum class Result { Ok, Conflict, Failed };

    ShareLock() = default;
    ~ShareLock();
    ShareLock(const ShareLock &) = delete;
    ShareLock &operator=(const ShareLock &) = delete;

    // Takes the locks for an open of path; on Conflict or Failed nothing is
    // held.  errnoValue is set on Failed.
    Result acquire(const std::string &path, bool write, bool denyRead, bool denyWrite, int &errnoValue);
    void release();
    bool held() const { return locks_.isOpen(); }

    void markWaiting(bool waiting);
    // Whether another open of the file is marked waiting.
    bool othersWaiting();

private:
    ByteLocks locks_;
};

}  // namespace kvr::keyed

#endif
