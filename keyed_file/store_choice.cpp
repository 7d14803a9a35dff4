#include "runtime/keyed_file/store_choice.h"

#include "runtime/keyed_file/postgres/connection_text.h"
#include "runtime/keyed_file/postgres/postgres_store.h"
#include "runtime/keyed_file/sqlite/sqlite_store.h"

#include <algorithm>
#include <cctype>

namespace kvr::runtime {

bool isTeamDatabase(const std::string &database) {
    return std::any_of(database.begin(), database.end(), [](unsigned char c) { return !std::isspace(c); });
}

std::unique_ptr<KeyedStore> makeKeyedStore(const std::string &database, const KeyedLayout &layout) {
    if (isTeamDatabase(database)) return std::make_unique<PostgresStore>(layout, database);
    return std::make_unique<SqliteStore>(layout);
}

std::string teamDatabaseText(const std::string &database) { return pg::connectionText(database); }

}  // namespace kvr::runtime
