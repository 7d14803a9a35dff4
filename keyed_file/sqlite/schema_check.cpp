// The checks of a keyed file's records and key at open (quickState,
// fullState) and the stamp of the engine's last write (schema.h).
#include "keyed_file/sqlite/schema.h"

#include "keyed_file/read_rules.h"
#include "keyed_file/sqlite/connection.h"
#include "keyed_file/sqlite/schema_functions.h"
#include "keyed_file/sqlite/schema_sql.h"
#include "keyed_file/sqlite/statement.h"

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace kvr::keyed::sqlite {

int quickState(Connection &db, bool &inRange) {
    inRange = true;
    // Each its own subquery: SQLite seeks the end of the table for a lone
    // min() or max(), but would scan the whole table for both together.
    Statement ends(db.handle(), "SELECT (SELECT min(recno) FROM records), (SELECT max(recno) FROM records)");
    if (!ends.ready()) return ends.result();
    const int result = ends.step();
    if (result != SQLITE_ROW) return result;
    inRange = ends.isNull(0) || (recordNumberInRange(ends.integer(0)) && recordNumberInRange(ends.integer(1)));
    return SQLITE_OK;
}

namespace {

// Whether SQLite finds every page, and the index against the table, sound.
int integrityState(Connection &db, bool &sound) {
    Statement check(db.handle(), "PRAGMA integrity_check(1)");
    if (!check.ready()) return check.result();
    const int result = check.step();
    if (result != SQLITE_ROW) return result;
    sound = check.text(0) == std::string_view("ok");
    return SQLITE_OK;
}

bool damageResult(int result) {
    return (result & 0xFF) == SQLITE_CORRUPT || (result & 0xFF) == SQLITE_NOTADB || result == SQLITE_ERROR;
}

}  // namespace

SchemaState fullState(Connection &db, const KeyedLayout &layout, int form) {
    bool sound = false;
    int result = quickState(db, sound);
    if (result == SQLITE_OK && !sound) return SchemaState::ofSqlite(SQLITE_CORRUPT);
    if (result == SQLITE_OK) result = integrityState(db, sound);
    long long value = 0;
    // The entries of the index against the count the table keeps.
    if (result == SQLITE_OK && sound) {
        result = scalar(db,
                        "SELECT (SELECT count(*) FROM records INDEXED BY records_by_key WHERE key IS NOT NULL)"
                        " = (SELECT keyed FROM keyed_count)",
                        value);
        sound = value == 1;
    }
    // Every record's bytes against its checksum, and every key value
    // against the bytes of a record whose checksum holds (a record whose
    // bytes changed is damaged itself, and its key is not rebuilt from them).
    long long damagedRecords = 0;
    if (result == SQLITE_OK && sound) {
        const RecordFunctions functions(db, layout);
        result = functions.result();
        if (result == SQLITE_OK && checksummedForm(form))
            result =
                scalar(db, "SELECT count(*) FROM records NOT INDEXED WHERE crc IS NOT keyed_crc(data)", damagedRecords);
        if (result == SQLITE_OK)
            result = scalar(db,
                            checksummedForm(form)
                                ? "SELECT count(*) FROM records NOT INDEXED WHERE key IS NOT keyed_key(data)"
                                  " AND crc = keyed_crc(data)"
                                : "SELECT count(*) FROM records NOT INDEXED WHERE key IS NOT keyed_key(data)",
                            value);
        sound = value == 0;
    }
    if (result != SQLITE_OK && !damageResult(result)) return SchemaState::ofSqlite(result);
    if (result == SQLITE_OK && sound) {
        SchemaState state;
        state.damagedRecords = damagedRecords;
        return state;
    }
    // Damaged.  The records are the table: when it reads whole, in record
    // numbers of 32 bits, only the key is lost, and building the key anew
    // (which also rewrites every page) restores the file.
    Statement table(db.handle(),
                    "SELECT count(*) = sum(length(data) BETWEEN ?2 AND ?1), min(recno), max(recno)"
                    " FROM records NOT INDEXED");
    if (!table.ready())
        return damageResult(table.result()) ? SchemaState::ofSqlite(SQLITE_CORRUPT)
                                            : SchemaState::ofSqlite(table.result());
    table.bind(1, static_cast<std::int64_t>(layout.recordSize));
    table.bind(2, trimmedForm(form) ? 0 : static_cast<std::int64_t>(layout.recordSize));
    result = table.step();
    if (result != SQLITE_ROW) return SchemaState::ofSqlite(damageResult(result) ? SQLITE_CORRUPT : result);
    const bool whole = table.isNull(1) || (table.integer(0) == 1 && recordNumberInRange(table.integer(1)) &&
                                           recordNumberInRange(table.integer(2)));
    return whole ? SchemaState::of(KeyedRebuildKeys) : SchemaState::ofSqlite(SQLITE_CORRUPT);
}

int lastWriteStamped(Connection &db, bool &stamped, bool &stampable) {
    stamped = stampable = false;
    Statement stamp(db.handle(), "SELECT stamp FROM keyed_check");
    // A file of before the stamp has no table for it.
    if (!stamp.ready()) return (stamp.result() & 0xFF) == SQLITE_ERROR ? SQLITE_OK : stamp.result();
    stampable = true;
    int result = stamp.step();
    if (result == SQLITE_DONE) return SQLITE_OK;  // no row: no stamp
    if (result != SQLITE_ROW) return result;
    std::uint32_t counter = 0;
    result = db.changeCounter(counter);
    stamped = result == SQLITE_OK && stamp.integer(0) == static_cast<long long>(counter);
    return result;
}

int stampWrite(Connection &db, std::uint32_t counterAtBegin) {
    StatementUse stamp = db.cached("UPDATE keyed_check SET stamp = ?2 WHERE stamp = ?1");
    if (!stamp) return stamp.result();
    stamp->bind(1, counterAtBegin);
    stamp->bind(2, static_cast<std::uint32_t>(counterAtBegin + 1));
    const int result = stamp->step();
    return result == SQLITE_DONE ? SQLITE_OK : result;
}

int restamp(Connection &db) {
    std::uint32_t counter = 0;
    int result = db.changeCounter(counter);
    if (result == SQLITE_OK) result = db.exec(std::string(kCheckTableSql) + "; DELETE FROM keyed_check;");
    if (result != SQLITE_OK) return result;
    Statement stamp(db.handle(), "INSERT INTO keyed_check VALUES (?1)");
    if (!stamp.ready()) return stamp.result();
    stamp.bind(1, static_cast<std::uint32_t>(counter + 1));
    result = stamp.step();
    return result == SQLITE_DONE ? SQLITE_OK : result;
}

int clearStamp(Connection &db) { return db.exec("UPDATE keyed_check SET stamp = -1"); }

}  // namespace kvr::keyed::sqlite
