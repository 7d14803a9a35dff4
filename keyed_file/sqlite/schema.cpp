// Making a keyed file, and its declarations (marks, layout, tables, index
// and triggers) against the engine's own at open (schema.h).
#include "keyed_file/sqlite/schema.h"

#include "keyed_file/record_image.h"
#include "keyed_file/sqlite/connection.h"
#include "keyed_file/sqlite/schema_sql.h"
#include "keyed_file/sqlite/statement.h"

#include <sqlite3.h>

#include <string_view>
#include <vector>

namespace kvr::keyed::sqlite {

namespace {

std::string creationSql(const KeyedLayout &layout) {
    return "PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL; PRAGMA application_id = " +
           std::to_string(kApplicationId) + "; PRAGMA user_version = " + std::to_string(kCurrentForm) +
           "; BEGIN; CREATE TABLE keyed_layout(name TEXT NOT NULL, record_size INTEGER NOT NULL,"
           " key_offset INTEGER NOT NULL, key_width INTEGER NOT NULL, blank BLOB); " +
           recordsTableSql(layout, kCurrentForm) + "; " + kIndexSql + "; " + kCountTableSql +
           "; INSERT INTO keyed_count VALUES (0); " + triggersSql() + kCheckTableSql +
           "; INSERT INTO keyed_check VALUES (0); ";
}

}  // namespace

int makeKeyedFile(Connection &db, const std::string &path, const KeyedLayout &layout) {
    int result = db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
    if (result == SQLITE_OK) result = db.exec(creationSql(layout));
    if (result == SQLITE_OK) {
        Statement insert(db.handle(), "INSERT INTO keyed_layout VALUES (?, ?, ?, ?, ?)");
        result = insert.result();
        if (insert.ready()) {
            insert.bindText(1, layout.name);
            insert.bind(2, static_cast<std::int64_t>(layout.recordSize));
            insert.bind(3, static_cast<std::int64_t>(layout.keyOffset));
            insert.bind(4, static_cast<std::int64_t>(layout.keyWidth));
            insert.bindBytes(5, blankImageOf(layout));
            result = insert.step() == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db.handle());
        }
    }
    if (result == SQLITE_OK) result = db.exec("COMMIT");
    return result;
}

namespace {

// The file's marks: a keyed file of this program, and which form its
// records are kept in.
SchemaState formMarks(Connection &db, int &form) {
    Statement marks(db.handle(),
                    "SELECT (SELECT application_id FROM pragma_application_id),"
                    " (SELECT user_version FROM pragma_user_version)");
    if (!marks.ready()) return SchemaState::ofSqlite(marks.result());
    const int result = marks.step();
    if (result != SQLITE_ROW) return SchemaState::ofSqlite(result);
    const long long version = marks.integer(1);
    if (marks.integer(0) != kApplicationId || version < kWholeImageForm || version > kCurrentForm)
        return SchemaState::of(KeyedBadDeclaration);
    form = static_cast<int>(version);
    return {};
}

// The layout the file declares against the one asked for.
SchemaState declaredLayout(Connection &db, const KeyedLayout &layout, bool trimmed) {
    Statement declared(db.handle(), trimmed ? "SELECT name, record_size, key_offset, key_width, blank FROM keyed_layout"
                                            : "SELECT name, record_size, key_offset, key_width FROM keyed_layout");
    if (!declared.ready())
        return (declared.result() & 0xFF) == SQLITE_ERROR ? SchemaState::of(KeyedBadDeclaration)
                                                          : SchemaState::ofSqlite(declared.result());
    const int result = declared.step();
    const bool same = result == SQLITE_ROW && declared.text(0) == std::string_view(layout.name) &&
                      declared.integer(1) == static_cast<long long>(layout.recordSize) &&
                      declared.integer(2) == static_cast<long long>(layout.keyOffset) &&
                      declared.integer(3) == static_cast<long long>(layout.keyWidth);
    if (result != SQLITE_ROW && result != SQLITE_DONE) return SchemaState::ofSqlite(result);
    if (!same) return SchemaState::of(KeyedBadDeclaration);
    // The blank record the tails were cut against is the layout's, or the
    // records cannot be made whole: a damaged file.
    if (trimmed && declared.bytes(4) != blankImageOf(layout)) return SchemaState::ofSqlite(SQLITE_CORRUPT);
    return {};
}

}  // namespace

SchemaState layoutState(Connection &db, const KeyedLayout &layout, bool checkKey, int &form) {
    form = 0;
    if (const SchemaState marks = formMarks(db, form); !marks.sound()) return marks;
    if (const SchemaState declared = declaredLayout(db, layout, trimmedForm(form)); !declared.sound()) return declared;
    int result = SQLITE_OK;

    // The records table (to the letter of the form's declaration: else
    // another program's), and the index, the count table and its triggers
    // as made, from one look at the schema.
    struct Expected {
        const char *type;
        const char *name;
        const char *sql;  // null: any definition
        bool found = false;
    };
    const std::string recordsSql = recordsTableSql(layout, form);
    std::vector<Expected> expected{{"table", "records", recordsSql.c_str()},
                                   {"index", "records_by_key", kIndexSql},
                                   {"table", "keyed_count", kCountTableSql}};
    for (const Trigger &t : kTriggers) expected.push_back({"trigger", t.name, t.sql});
    bool keySound = true;
    {
        Statement schema(db.handle(),
                         "SELECT type, name, sql FROM sqlite_master WHERE name IN ('records',"
                         " 'records_by_key', 'keyed_count', 'records_keyed_insert',"
                         " 'records_keyed_delete', 'records_keyed_update')");
        if (!schema.ready()) return SchemaState::ofSqlite(schema.result());
        while ((result = schema.step()) == SQLITE_ROW) {
            for (Expected &e : expected) {
                if (schema.text(1) != std::string_view(e.name)) continue;
                const bool same =
                    schema.text(0) == std::string_view(e.type) && (!e.sql || schema.text(2) == std::string_view(e.sql));
                e.found = e.found || same;
                if (!same) keySound = false;
            }
        }
        if (result != SQLITE_DONE) return SchemaState::ofSqlite(result);
    }
    if (!expected.front().found) return SchemaState::of(KeyedBadDeclaration);
    if (!checkKey) return {};
    for (const Expected &e : expected)
        if (!e.found) keySound = false;
    if (!keySound) return SchemaState::of(KeyedRebuildKeys);
    long long value = 0;
    result = scalar(db, "SELECT count(*) = 1 AND typeof(min(keyed)) = 'integer' FROM keyed_count", value);
    if (result != SQLITE_OK) return SchemaState::ofSqlite(result);
    return value == 1 ? SchemaState{} : SchemaState::of(KeyedRebuildKeys);
}

}  // namespace kvr::keyed::sqlite
