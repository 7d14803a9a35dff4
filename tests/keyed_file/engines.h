// Test support: the engines the keyed-file and library suites run on, one
// expected behaviour for both.  A test takes its database setting from
// databaseFor(): SQLite files in the test's folder, or a fresh database of
// the test program's private PostgreSQL server (postgres_server.h).
#ifndef KVR_TESTS_ENGINES_H
#define KVR_TESTS_ENGINES_H

#include "postgres_server.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace kvr::testing {

enum class Engine { Sqlite, Postgres };

inline const auto kEngines = ::testing::Values(Engine::Sqlite, Engine::Postgres);

inline std::string engineName(const ::testing::TestParamInfo<Engine> &info) {
    return info.param == Engine::Sqlite ? "SQLite" : "PostgreSQL";
}

inline void PrintTo(Engine engine, std::ostream *os) { *os << (engine == Engine::Sqlite ? "SQLite" : "PostgreSQL"); }

// "" for SQLite; the connection string of a new database for PostgreSQL.
inline std::string databaseFor(Engine engine) {
    return engine == Engine::Sqlite ? std::string() : testServer().freshDatabase();
}

// The peer's arguments for a file on the database.
inline std::vector<std::string> onDatabase(const std::string &database, std::vector<std::string> arguments) {
    if (!database.empty()) arguments.insert(arguments.begin(), "--database=" + database);
    return arguments;
}

}  // namespace kvr::testing

#endif
