#include "keyed_file/store_choice.h"

#include "keyed_file/postgres/connection_text.h"
#include "keyed_file/postgres/postgres_store.h"
#include "keyed_file/sqlite/sqlite_store.h"

#include <algorithm>
#include <cctype>

namespace kvr::keyed {

bool isTeamDatabase(const std::string &database) {
    return std::any_of(database.begin(), database.end(), [](unsigned char c) { return !std::isspace(c); });
}

std::unique_ptr<KeyedStore> makeKeyedStore(const std::string &database, const KeyedLayout &layout) {
    if (isTeamDatabase(database)) return std::make_unique<PostgresStore>(layout, database);
    return std::make_unique<SqliteStore>(layout);
}

std::string teamDatabaseText(const std::string &database) { return pg::connectionText(database); }

}  // namespace kvr::keyed
