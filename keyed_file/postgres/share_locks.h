// Sharing modes of keyed files between stations, kept by the server as
// advisory locks of the session.
//
// Every open takes shared advisory locks on four numbers of the file's
// table (its oid and a byte): "open for reading", "open for writing",
// "denies reading", "denies writing".  It first takes its own and then looks
// in pg_locks for other sessions holding the ones it conflicts with, so that
// of two racing opens at least one sees the other; both in one round trip.
// The locks go with the session, also when a station is killed or its
// connection drops; after a reconnection they are taken again.  Table locks
// are never taken.
#ifndef KVR_KEYED_POSTGRES_SHARE_LOCKS_H
#define KVR_KEYED_POSTGRES_SHARE_LOCKS_H

#include "keyed_file/access_mode.h"
#include "keyed_file/keyed_store.h"
#include "keyed_file/postgres/connection.h"

#include <string>
#include <vector>

namespace kvr::keyed::pg {

class ShareLocks {
public:
    // Takes the locks of an open of table with mode: KeyedLocked on a conflict, and
    // then nothing is held.
    KeyedStatus acquire(Connection &db, const std::string &table, const OpenMode &mode);
    // acquire in two halves, so that the open sends them in one batch with
    // its other statements: the two statements (the locks, then the look
    // at the others'), and the verdict on their answers.
    std::vector<Statement> look(const std::string &table, const OpenMode &mode);
    KeyedStatus taken(Connection &db, const Outcome *answers);
    // The same locks again, on a new session.
    KeyedStatus again(Connection &db);
    void forget() { held_ = false; }

private:
    std::string table_;
    OpenMode mode_;
    bool held_ = false;
};

}  // namespace kvr::keyed::pg

#endif
