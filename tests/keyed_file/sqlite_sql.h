// Test support: SQL text run on a keyed file's database through a
// connection of its own, as another program would look at the file (the
// connection rolls back a write a killed process left).
#ifndef KVR_TESTS_SQLITE_SQL_H
#define KVR_TESTS_SQLITE_SQL_H

#include <sqlite3.h>

#include <string>

namespace kvr::testing {

// The first column of the first row ("" for none or NULL).  create: makes
// the database when it is missing.
inline std::string sqliteValue(const std::string &path, const std::string &text, bool create = false) {
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0), nullptr);
    std::string result;
    sqlite3_exec(
        db, text.c_str(),
        [](void *out, int, char **values, char **) {
            auto *s = static_cast<std::string *>(out);
            if (s->empty() && values[0]) *s = values[0];
            return 0;
        },
        &result, nullptr);
    sqlite3_close(db);
    return result;
}

}  // namespace kvr::testing

#endif
