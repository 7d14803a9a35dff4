// Test support: command files in the forms the engine wrote before, made
// with plain SQLite as those builds made them: version 1 (every record
// whole), version 2 (records without their blank tails, no checksums).
// stamped: marked as the engine's own last write, so that an open does not
// walk the file.  recordsTable: the records table's declaration, for files
// of another program that the engine must refuse.
#ifndef KVR_TESTS_OLDER_FORMS_H
#define KVR_TESTS_OLDER_FORMS_H

#include "keyed_file/key_value.h"
#include "keyed_file/record_image.h"
#include "test_layout.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kvr::testing {

// The records table of the files of version 1.
inline constexpr const char *kWholeImageTable =
    "CREATE TABLE records(recno INTEGER PRIMARY KEY AUTOINCREMENT, key BLOB,"
    " version INTEGER NOT NULL, data BLOB NOT NULL CHECK (length(data) = 184));";
// And of version 2.
inline constexpr const char *kTrimmedTable =
    "CREATE TABLE records(recno INTEGER PRIMARY KEY AUTOINCREMENT, key BLOB, version INTEGER NOT NULL,"
    " data BLOB NOT NULL CHECK (length(data) <= 184));";

// SQLite's change counter, from the file's header.
inline std::uint32_t headerChangeCounter(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::uint32_t counter = 0;
    for (unsigned char c : bytes.substr(24, 4)) counter = counter << 8 | c;
    return counter;
}

inline void makeOlderFormFile(const std::string &path, const std::vector<std::vector<unsigned char>> &records, int form,
                              bool stamped, std::string recordsTable = {}) {
    if (recordsTable.empty()) recordsTable = form == 1 ? kWholeImageTable : kTrimmedTable;
    const std::string blank = keyed::blankImageOf(commandsLikeLayout());
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const std::string schema =
        "PRAGMA journal_mode = DELETE; PRAGMA application_id = 1263946566; PRAGMA user_version = " +
        std::to_string(form) +
        "; BEGIN;"
        " CREATE TABLE keyed_layout(name TEXT NOT NULL, record_size INTEGER NOT NULL,"
        " key_offset INTEGER NOT NULL, key_width INTEGER NOT NULL" +
        (form == 1 ? ");" : ", blank BLOB);") + recordsTable +
        " CREATE INDEX records_by_key ON records(key, recno) WHERE key IS NOT NULL;"
        " CREATE TABLE keyed_count(keyed INTEGER NOT NULL); INSERT INTO keyed_count VALUES (0);"
        " CREATE TRIGGER records_keyed_insert AFTER INSERT ON records WHEN NEW.key IS NOT NULL"
        " BEGIN UPDATE keyed_count SET keyed = keyed + 1; END;"
        " CREATE TRIGGER records_keyed_delete AFTER DELETE ON records WHEN OLD.key IS NOT NULL"
        " BEGIN UPDATE keyed_count SET keyed = keyed - 1; END;"
        " CREATE TRIGGER records_keyed_update AFTER UPDATE OF key ON records"
        " WHEN (OLD.key IS NULL) <> (NEW.key IS NULL)"
        " BEGIN UPDATE keyed_count SET keyed = keyed + (NEW.key IS NOT NULL) - (OLD.key IS NOT NULL); END;"
        " CREATE TABLE IF NOT EXISTS keyed_check(stamp INTEGER NOT NULL); INSERT INTO keyed_check VALUES (0);";
    ASSERT_EQ(sqlite3_exec(db, schema.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_stmt *layout = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 form == 1 ? "INSERT INTO keyed_layout VALUES ('COMMANDS', 184, 0, 10)"
                                           : "INSERT INTO keyed_layout VALUES ('COMMANDS', 184, 0, 10, ?1)",
                                 -1, &layout, nullptr),
              SQLITE_OK);
    if (form != 1) sqlite3_bind_blob(layout, 1, blank.data(), static_cast<int>(blank.size()), SQLITE_TRANSIENT);
    ASSERT_EQ(sqlite3_step(layout), SQLITE_DONE) << sqlite3_errmsg(db);
    sqlite3_finalize(layout);
    sqlite3_stmt *insert = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db, "INSERT INTO records(key, version, data) VALUES (?1, 1, ?2)", -1, &insert, nullptr),
        SQLITE_OK);
    for (const std::vector<unsigned char> &image : records) {
        const std::string_view bytes(reinterpret_cast<const char *>(image.data()), image.size());
        const std::optional<std::string> key = keyed::keyValueOf(bytes.substr(0, 10), 10);
        const std::size_t kept = form == 1 ? image.size() : keyed::keptLength(bytes, blank);
        sqlite3_reset(insert);
        if (key)
            sqlite3_bind_blob(insert, 1, key->data(), static_cast<int>(key->size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(insert, 1);
        sqlite3_bind_blob(insert, 2, image.data(), static_cast<int>(kept), SQLITE_TRANSIENT);
        ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE) << sqlite3_errmsg(db);
    }
    sqlite3_finalize(insert);
    ASSERT_EQ(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    if (stamped) {
        // The stamp's own write moves the counter on.
        const std::string stamp = "UPDATE keyed_check SET stamp = " + std::to_string(headerChangeCounter(path) + 1);
        ASSERT_EQ(sqlite3_exec(db, stamp.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    }
    sqlite3_close(db);
}

}  // namespace kvr::testing

#endif
