#include "keyed_file/sqlite/schema_sql.h"

#include "keyed_file/key_value.h"
#include "keyed_file/record_image.h"
#include "keyed_file/sqlite/connection.h"
#include "keyed_file/sqlite/schema.h"

namespace kvr::keyed::sqlite {

std::string triggersSql() {
    std::string sql;
    for (const Trigger &t : kTriggers) sql += std::string(t.sql) + "; ";
    return sql;
}

std::string recordsTableSql(const KeyedLayout &layout, int form) {
    const std::string size = std::to_string(layout.recordSize);
    const std::string head =
        "CREATE TABLE records(recno INTEGER PRIMARY KEY AUTOINCREMENT, key BLOB, version INTEGER NOT NULL,"
        " data BLOB NOT NULL CHECK (length(data) ";
    if (form == kWholeImageForm) return head + "= " + size + "))";
    if (form == kTrimmedForm) return head + "<= " + size + "))";
    return head + "<= " + size + "), crc INTEGER NOT NULL)";
}

std::optional<std::string> keyOfStored(std::string_view stored, const KeyedLayout &layout, std::string_view blank) {
    const std::string image = restoredImage(stored, blank);
    if (image.size() <= layout.keyOffset) return std::nullopt;
    return keyValueOf(std::string_view(image).substr(layout.keyOffset, layout.keyWidth), layout.keyWidth);
}

int scalar(Connection &db, const char *sql, long long &value) {
    Statement statement(db.handle(), sql);
    if (!statement.ready()) return statement.result();
    const int result = statement.step();
    if (result == SQLITE_ROW) value = statement.integer(0);
    return result == SQLITE_ROW ? SQLITE_OK : result;
}

int stepDone(Statement &statement, Connection &db) {
    if (!statement.ready()) return statement.result();
    return statement.step() == SQLITE_DONE ? SQLITE_OK : sqlite3_extended_errcode(db.handle());
}

int keepSequence(Connection &db, long long highest) {
    Statement raise(db.handle(), "UPDATE sqlite_sequence SET seq = max(seq, ?1) WHERE name = 'records'");
    if (raise.ready()) raise.bind(1, highest);
    int result = stepDone(raise, db);
    if (result != SQLITE_OK || highest <= 0) return result;
    Statement make(db.handle(),
                   "INSERT INTO sqlite_sequence(name, seq) SELECT 'records', ?1"
                   " WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = 'records')");
    if (make.ready()) make.bind(1, highest);
    return stepDone(make, db);
}

}  // namespace kvr::keyed::sqlite
