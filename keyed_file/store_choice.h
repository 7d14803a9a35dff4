// Which store keeps the keyed files of a run, named by one setting, the
// database: empty, each file is an SQLite database of its own in the
// current directory (one station); otherwise it is a libpq connection
// string ("postgresql://user@host/dbname", "host=... dbname=...") and the
// files are tables of that PostgreSQL database, shared by a team.
#ifndef KVR_KEYED_STORE_CHOICE_H
#define KVR_KEYED_STORE_CHOICE_H

#include "keyed_file/keyed_store.h"

#include <memory>
#include <string>

namespace kvr::keyed {

bool isTeamDatabase(const std::string &database);

[[nodiscard]] std::unique_ptr<KeyedStore> makeKeyedStore(const std::string &database, const KeyedLayout &layout);

// The team database as the operator may see it (no password).
std::string teamDatabaseText(const std::string &database);

}  // namespace kvr::keyed

#endif
