// Test support: the engines the keyed-file and library suites run on, one
// expected behaviour for both.  A test takes its database setting from
// databaseFor(): SQLite files in the test's folder, or a fresh database of
// the test program's private PostgreSQL server (postgres_server.h).
#ifndef KVR_TESTS_ENGINES_H
#define KVR_TESTS_ENGINES_H

#ifndef _WIN32
#include "postgres_server.h"
#endif

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace kvr::testing {

enum class Engine { Sqlite, Postgres };

#ifdef _WIN32
// The Windows tests run under Wine, where no PostgreSQL server runs: the
// cases of both engines run on SQLite alone there.
inline const auto kEngines = ::testing::Values(Engine::Sqlite);
#else
inline const auto kEngines = ::testing::Values(Engine::Sqlite, Engine::Postgres);
#endif

inline std::string engineName(const ::testing::TestParamInfo<Engine> &info) {
    return info.param == Engine::Sqlite ? "SQLite" : "PostgreSQL";
}

inline void PrintTo(Engine engine, std::ostream *os) { *os << (engine == Engine::Sqlite ? "SQLite" : "PostgreSQL"); }

// "" for SQLite; the connection string of a new database for PostgreSQL.
inline std::string databaseFor(Engine engine) {
#ifdef _WIN32
    if (engine == Engine::Postgres) throw std::logic_error("no PostgreSQL server in the Windows tests");
    return {};
#else
    return engine == Engine::Sqlite ? std::string() : testServer().freshDatabase();
#endif
}

// The peer's arguments for a file on the database.
inline std::vector<std::string> onDatabase(const std::string &database, std::vector<std::string> arguments) {
    if (!database.empty()) arguments.insert(arguments.begin(), "--database=" + database);
    return arguments;
}

}  // namespace kvr::testing

#endif
