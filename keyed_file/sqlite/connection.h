// One SQLite connection to a keyed file, with the sharing locks of its open
// and the statements it keeps prepared.
//
// Waiting for the file: while another connection holds it, a statement
// waits up to the busy time-out in short steps, marked as waiting (see
// share_lock.h) so that a writer in a tight loop lets this process in.
#ifndef KVR_KEYED_SQLITE_CONNECTION_H
#define KVR_KEYED_SQLITE_CONNECTION_H

#include "keyed_file/keyed_store.h"
#include "keyed_file/sqlite/share_lock.h"
#include "keyed_file/sqlite/statement.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

struct sqlite3;

namespace kvr::keyed::sqlite {

class Connection {
public:
    static constexpr int kDefaultBusyMs = 2000;

    Connection() = default;
    ~Connection() { close(); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Opens the database (on a closed connection, its sharing locks already
    // taken) with the SQLite open flags, extended result codes on and the
    // waiting busy handler installed.  On failure the connection is kept
    // until close() so that its message can be read.
    int open(const std::string &path, int flags);
    // Finalizes the statements, closes the database and only then lets the
    // sharing locks go: closing any descriptor of the file would drop the
    // database's own POSIX locks of this process.
    void close();
    bool isOpen() const { return handle_ != nullptr; }
    sqlite3 *handle() const { return handle_; }
    ShareLock &share() { return share_; }

    // Runs SQL text (no results); the SQLite result.
    int exec(const char *sql);
    int exec(const std::string &sql) { return exec(sql.c_str()); }
    // The statement for sql, prepared once and kept; reset when the use ends.
    StatementUse cached(const std::string &sql);
    KeyedStatus status(int result) const;
    // Whether a result since the last call reported a damaged database.
    bool takeDamageReported();

    // The database's change counter (the file header's, which SQLite moves
    // with every write transaction), read through the database's own file
    // so that no other descriptor of it is opened or closed.  Only inside a
    // transaction.
    int changeCounter(std::uint32_t &counter);

    void setBusyTimeout(int ms) { busyTimeoutMs_ = ms; }
    // Waits with SQLite's own plain time-out instead, not marked waiting.
    void usePlainBusyTimeout(int ms);
    // No longer waiting: after each statement that may have waited.
    void settle();
    // Before starting a write: lets processes that are waiting for the file
    // go first (for at most the busy time-out).
    void yieldToWaiters();

private:
    static int onBusy(void *self, int count);

    sqlite3 *handle_ = nullptr;
    ShareLock share_;
    std::map<std::string, std::unique_ptr<Statement>> statements_;
    int busyTimeoutMs_ = kDefaultBusyMs;
    bool waiting_ = false;
    std::chrono::steady_clock::time_point busySince_;
    mutable bool damageReported_ = false;
};

}  // namespace kvr::keyed::sqlite

#endif
