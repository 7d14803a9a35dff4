#include "keyed_file/postgres/share_locks.h"

#include <vector>

namespace kvr::keyed::pg {

namespace {

enum Byte { OpenRead = 0, OpenWrite = 1, DenyRead = 2, DenyWrite = 3 };

// The lock numbers of the bytes, as a subquery "k" of one column.
std::string keysOf(const std::string &table, const std::vector<int> &bytes) {
    std::string values;
    for (int b : bytes) {
        values += values.empty() ? "(" : ", (";
        values += std::to_string(b);
        values += ")";
    }
    // The table name is one of the store's own: letters, digits, underscores.
    return "(SELECT (to_regclass('" + table + "')::oid::bigint << 3) | b AS k FROM (VALUES " + values +
           ") AS v(b)) AS keys";
}

}  // namespace

std::vector<Statement> ShareLocks::look(const std::string &table, const OpenMode &mode) {
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
    // Others holding what this open conflicts with, looked up rather than
    // tried, so that two opens checking at once do not stand in each
    // other's way: after this open's own are taken, the next statement of
    // the same message.
    return {{"SELECT pg_advisory_lock_shared(k) FROM " + keysOf(table, mine), Params()},
            {"SELECT count(*) FROM pg_locks AS l WHERE l.locktype = 'advisory' AND l.granted"
             " AND l.pid <> pg_backend_pid() AND l.objsubid = 1"
             " AND l.database = (SELECT oid FROM pg_database WHERE datname = current_database())"
             " AND ((l.classid::bigint << 32) | l.objid::bigint) IN (SELECT k FROM " +
                 keysOf(table, against) + ")",
             Params()}};
}

KeyedStatus ShareLocks::taken(Connection &db, const Outcome *answers) {
    if (!answers[0].ok()) return answers[0].status();
    if (!answers[1].ok()) return answers[1].status();
    if (answers[1].int8(0, 0) != 0) {
        db.exec("SELECT pg_advisory_unlock_all()");
        return KeyedStatus::of(KeyedLocked);
    }
    held_ = true;
    return KeyedStatus::success();
}

KeyedStatus ShareLocks::acquire(Connection &db, const std::string &table, const OpenMode &mode) {
    const std::vector<Outcome> answers = db.runAll(look(table, mode));
    return taken(db, answers.data());
}

KeyedStatus ShareLocks::again(Connection &db) {
    if (!held_) return KeyedStatus::success();
    return acquire(db, table_, mode_);
}

}  // namespace kvr::keyed::pg
