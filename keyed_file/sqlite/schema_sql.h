// The pieces of the keyed file's schema (schema.h) that its making, its
// checks, its conversion and its rebuild share: the definitions of the
// engine's tables, index and triggers, each the one text an open accepts,
// and the few statement steps they all take.
#ifndef KVR_KEYED_SQLITE_SCHEMA_SQL_H
#define KVR_KEYED_SQLITE_SCHEMA_SQL_H

#include "keyed_file/keyed_store.h"
#include "keyed_file/sqlite/statement.h"

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>

namespace kvr::keyed::sqlite {

class Connection;

inline constexpr int kApplicationId = 0x4B564B46;  // "KVKF"
inline constexpr const char *kIndexSql =
    "CREATE INDEX records_by_key ON records(key, recno) WHERE key IS NOT NULL";
// The number of records in the key, kept by the database itself on every
// write; the walk at open compares it with the entries the index holds.
inline constexpr const char *kCountTableSql = "CREATE TABLE keyed_count(keyed INTEGER NOT NULL)";
struct Trigger {
    const char *name;
    const char *sql;
};
inline constexpr Trigger kTriggers[] = {
    {"records_keyed_insert",
     "CREATE TRIGGER records_keyed_insert AFTER INSERT ON records WHEN NEW.key IS NOT NULL"
     " BEGIN UPDATE keyed_count SET keyed = keyed + 1; END"},
    {"records_keyed_delete",
     "CREATE TRIGGER records_keyed_delete AFTER DELETE ON records WHEN OLD.key IS NOT NULL"
     " BEGIN UPDATE keyed_count SET keyed = keyed - 1; END"},
    {"records_keyed_update",
     "CREATE TRIGGER records_keyed_update AFTER UPDATE OF key ON records"
     " WHEN (OLD.key IS NULL) <> (NEW.key IS NULL)"
     " BEGIN UPDATE keyed_count SET keyed = keyed + (NEW.key IS NOT NULL) - (OLD.key IS NOT NULL); END"},
};
inline constexpr const char *kCheckTableSql = "CREATE TABLE IF NOT EXISTS keyed_check(stamp INTEGER NOT NULL)";

// The count's triggers, each statement ended by "; ".
std::string triggersSql();

// The records table as the engine makes it for each form: the only
// definitions an open accepts (column by column, and to the letter).
std::string recordsTableSql(const KeyedLayout &layout, int form);

// The key value of a record kept in either form.
std::optional<std::string> keyOfStored(std::string_view stored, const KeyedLayout &layout, std::string_view blank);

// The first column of the first row of sql.  The SQLite result.
[[nodiscard]] int scalar(Connection &db, const char *sql, long long &value);

// One step of a statement that writes: SQLITE_OK when it was done, else the
// connection's extended result.
[[nodiscard]] int stepDone(Statement &statement, Connection &db);

// Numbers once given are never given again: keeps highest, the highest
// record number ever given, in the number sequence of a records table made
// anew (whose sequence counts only the records put in it, and has no row
// at all when none were).  The SQLite result.
[[nodiscard]] int keepSequence(Connection &db, long long highest);

// Runs write(), a statement's step, for each row of read: SQLITE_OK when
// every row was written (each step SQLITE_DONE), else the first result that
// was not.
template <class Write>
int eachRow(Statement &read, Write write) {
    for (;;) {
        const int step = read.step();
        if (step == SQLITE_DONE) return SQLITE_OK;
        if (step != SQLITE_ROW) return step;
        if (const int done = write(); done != SQLITE_DONE) return done;
    }
}

}  // namespace kvr::keyed::sqlite

#endif
