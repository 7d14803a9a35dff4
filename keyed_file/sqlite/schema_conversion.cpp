// Turning a keyed file of an older form into the current one, all in the
// caller's write transaction, and proving it (schema.h).
#include "keyed_file/sqlite/schema.h"

#include "keyed_file/record_image.h"
#include "keyed_file/sqlite/connection.h"
#include "keyed_file/sqlite/schema_functions.h"
#include "keyed_file/sqlite/schema_sql.h"
#include "keyed_file/sqlite/statement.h"

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace kvr::keyed::sqlite {

namespace {

// Whether the records table has the columns the engine declares for the
// form, one by one (name, type, NOT NULL, default, place in the primary
// key, in this order and no others), as SQLite reads them from the
// declaration.  Every open compares the declaration's text with the
// form's (which alone shows the size check and AUTOINCREMENT, and costs
// nothing more than the look at the schema it makes anyway); the
// conversion compares the columns too, under the write lock, before it
// copies a single record.
SchemaState declaredColumns(Connection &db, int form) {
    struct Column {
        const char *name, *type;
        bool notNull;
        int primaryKey;
    };
    const Column columns[] = {{"recno", "INTEGER", false, 1},
                              {"key", "BLOB", false, 0},
                              {"version", "INTEGER", true, 0},
                              {"data", "BLOB", true, 0},
                              {"crc", "INTEGER", true, 0}};
    const std::size_t expected = checksummedForm(form) ? 5 : 4;
    Statement info(db.handle(),
                   "SELECT name, type, \"notnull\", dflt_value IS NULL, pk FROM pragma_table_info('records')"
                   " ORDER BY cid");
    if (!info.ready()) return SchemaState::ofSqlite(info.result());
    std::size_t seen = 0;
    int result = SQLITE_OK;
    bool same = true;
    while ((result = info.step()) == SQLITE_ROW) {
        if (seen >= expected) {
            same = false;
            break;
        }
        const Column &c = columns[seen++];
        same = same && info.text(0) == std::string_view(c.name) && info.text(1) == std::string_view(c.type) &&
               info.integer(2) == (c.notNull ? 1 : 0) && info.integer(3) == 1 && info.integer(4) == c.primaryKey;
    }
    if (result != SQLITE_ROW && result != SQLITE_DONE) return SchemaState::ofSqlite(result);
    if (!same || seen != expected) return SchemaState::of(KeyedBadDeclaration);
    return {};
}

// The blank record beside the layout, for a file that kept records whole.
int keepBlank(Connection &db, const KeyedLayout &layout) {
    int result = db.exec("ALTER TABLE keyed_layout ADD COLUMN blank BLOB");
    if (result != SQLITE_OK) return result;
    Statement keep(db.handle(), "UPDATE keyed_layout SET blank = ?1");
    if (keep.ready()) keep.bindBytes(1, blankImageOf(layout));
    return stepDone(keep, db);
}

// The proof, before the caller commits: every record reads back as it read
// before (number, key value, change counter, bytes), with its checksum, no
// other record is there, and the key's count holds.  SQLITE_CORRUPT when
// not.
int proveConversion(Connection &db) {
    long long proven = 0;
    const int result = scalar(db,
                              "SELECT (SELECT count(*) FROM keyed_before) = (SELECT count(*) FROM records)"
                              " AND (SELECT count(*) FROM keyed_before) = (SELECT count(*) FROM keyed_before b"
                              "  JOIN records r ON r.recno = b.recno AND r.key IS b.key AND r.version = b.version"
                              "  AND keyed_image(r.data) = b.image AND r.crc = keyed_crc(r.data))"
                              " AND (SELECT keyed FROM keyed_count) ="
                              "  (SELECT count(*) FROM records WHERE key IS NOT NULL)",
                              proven);
    if (result != SQLITE_OK) return result;
    return proven == 1 ? SQLITE_OK : SQLITE_CORRUPT;
}

}  // namespace

int convertRecords(Connection &db, const KeyedLayout &layout) {
    long long version = 0;
    int result = scalar(db, "PRAGMA user_version", version);
    // Turned by another process since the open's check.
    if (result != SQLITE_OK || version == kCurrentForm) return result;
    if (version != kWholeImageForm && version != kTrimmedForm) return SQLITE_CORRUPT;
    // Checked again under the write lock: only the engine's own tables are
    // turned.
    int form = 0;
    SchemaState state = layoutState(db, layout, false, form);
    if (state.sound()) state = declaredColumns(db, form);
    if (state.failed()) return state.sqliteResult;
    if (!state.sound() || form != version) return SQLITE_CORRUPT;

    const RecordFunctions functions(db, layout);
    result = functions.result();
    // Numbers once given are never given again: the highest ever given.
    long long highest = 0;
    if (result == SQLITE_OK) {
        const int seq = scalar(db, "SELECT seq FROM sqlite_sequence WHERE name = 'records'", highest);
        if (seq != SQLITE_OK && seq != SQLITE_DONE) result = seq;
    }
    // The records as they read now, by column name, beside the table made
    // anew in the current form; the index, the count's triggers and the
    // number sequence go with the old table and are made again.
    if (result == SQLITE_OK)
        result = db.exec(
            "CREATE TEMP TABLE keyed_before AS SELECT recno, key, version, keyed_image(data) AS image FROM records;"
            " DROP TABLE records;");
    if (result == SQLITE_OK) result = db.exec(recordsTableSql(layout, kCurrentForm));
    if (result == SQLITE_OK)
        result = db.exec(
            "INSERT INTO records(recno, key, version, data, crc)"
            " SELECT recno, key, version, keyed_kept(image), keyed_crc(image) FROM keyed_before ORDER BY recno");
    if (result == SQLITE_OK) result = db.exec(std::string(kIndexSql) + "; " + triggersSql());
    if (result == SQLITE_OK) result = keepSequence(db, highest);
    if (result == SQLITE_OK && version == kWholeImageForm) result = keepBlank(db, layout);
    if (result == SQLITE_OK) result = proveConversion(db);
    if (result == SQLITE_OK) result = db.exec("DROP TABLE keyed_before");
    if (result == SQLITE_OK) result = db.exec("PRAGMA user_version = " + std::to_string(kCurrentForm));
    return result;
}

}  // namespace kvr::keyed::sqlite
