#include "runtime/keyed_file/postgres/share_locks.h"

#include <vector>

namespace kvr::runtime::pg {

namespace {

enum Byte { OpenRead = 0, OpenWrite = 1, DenyRead = 2, DenyWrite = 3 };

// The lock numbers of the bytes, as a subquery "k" of one column.
std::string keysOf(const std::string &table, const std::vector<int> &bytes) {
    std::string values;
    for (int b : bytes) values += (values.empty() ? "(" : ", (") + std::to_string(b) + ")";
    // The table name is one of the store's own: letters, digits, underscores.
    return "(SELECT (to_regclass('" + table + "')::oid::bigint << 3) | b AS k FROM (VALUES " + values +
           ") AS v(b)) AS keys";
}

}  // namespace

KeyedStatus ShareLocks::acquire(Connection &db, const std::string &table, const OpenMode &mode) {
    table_ = table;
    mode_ = mode;
    held_ = false;
    std::vector<int> mine{OpenRead}, against{DenyRead};
    if (mode.write) {
        mine.push_back(OpenWrite);
        against.push_back(DenyWrite);
    }
    if (mode.denyRead) {
        mine.push_back(DenyRead);
        against.push_back(OpenRead);
    }
    if (mode.denyWrite) {
        mine.push_back(DenyWrite);
        against.push_back(OpenWrite);
    }
    const Outcome taken = db.exec("SELECT pg_advisory_lock_shared(k) FROM " + keysOf(table, mine));
    if (!taken.ok()) return taken.status();
    // A lock of this session never stands in its own way.
    const Outcome tried = db.exec("SELECT k, pg_try_advisory_lock(k) FROM " + keysOf(table, against));
    if (!tried.ok()) return tried.status();
    bool conflict = false;
    std::string release;
    for (int row = 0; row < tried.rows(); ++row) {
        if (tried.bytes(row, 1) == "t") release += (release.empty() ? "" : ", ") + std::string("pg_advisory_unlock(") +
                                                   std::string(tried.bytes(row, 0)) + ")";
        else conflict = true;
    }
    if (!release.empty()) {
        const Outcome released = db.exec("SELECT " + release);
        if (!released.ok()) return released.status();
    }
    if (conflict) {
        db.exec("SELECT pg_advisory_unlock_all()");
        return KeyedStatus::of(KeyedLocked);
    }
    held_ = true;
    return KeyedStatus::success();
}

KeyedStatus ShareLocks::again(Connection &db) {
    if (!held_) return KeyedStatus::success();
    return acquire(db, table_, mode_);
}

}  // namespace kvr::runtime::pg
