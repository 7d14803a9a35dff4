// Reading a SQLite keyed file: by key order from a place, and by number.
// Each read is one statement, run to its last row (a page of a view takes
// the file's lock once) and reset at once, so no read holds the file
// between calls and the next one sees what other processes wrote.
#include "runtime/keyed_file/sqlite/sqlite_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <string>
#include <utility>
#include <vector>

namespace kvr::runtime {

namespace {
const std::string kColumns = "SELECT recno, key, version, data FROM records ";
}  // namespace

KeyedStatus SqliteStore::fetch(const std::string &where, const std::function<void(sqlite::Statement &)> &bind,
                               StoredRecord &record) {
    sqlite::StatementUse read = db_.cached(kColumns + where);
    if (!read) return db_.status(read.result());
    if (bind) bind(*read);
    const int result = read->step();
    db_.settle();
    if (result == SQLITE_DONE) return KeyedStatus::of(KeyedNotAvailable);
    if (result != SQLITE_ROW) return noted(db_.status(result));
    record.recordNumber = static_cast<std::uint32_t>(read->integer(0));
    record.key = read->key(1);
    record.version = read->integer(2);
    const std::string_view data = read->bytes(3);
    record.data.assign(data.begin(), data.end());
    return KeyedStatus::success();
}

KeyedStatus SqliteStore::first(Direction direction, StoredRecord &record) {
    return fetch(direction == Direction::Forward ? "WHERE key IS NOT NULL ORDER BY key, recno LIMIT 1"
                                                 : "WHERE key IS NOT NULL ORDER BY key DESC, recno DESC LIMIT 1",
                 nullptr, record);
}

// The one record after (before) the place: a read of one.
KeyedStatus SqliteStore::next(const KeyPlace &place, Direction direction, StoredRecord &record) {
    std::vector<StoredRecord> found;
    KeyedStatus status = read(place, false, direction, 1, found);
    if (!status.ok()) return status;
    if (found.empty()) return KeyedStatus::of(KeyedNotAvailable);
    record = std::move(found.front());
    return status;
}

KeyedStatus SqliteStore::byNumber(std::uint32_t recordNumber, StoredRecord &record) {
    KeyedStatus status =
        fetch("WHERE recno = ?1", [recordNumber](sqlite::Statement &s) { s.bind(1, recordNumber); }, record);
    return status.code == KeyedNotAvailable ? KeyedStatus::of(KeyedRecordNotFound) : status;
}

// One statement: the records of the place's own key value after (before)
// its record number, and those of the following (preceding) key values,
// each an index seek, merged in key order.  (A row-value comparison on key
// and record number would walk every record of the key value instead.)
KeyedStatus SqliteStore::read(const std::optional<KeyPlace> &from, bool inclusive, Direction direction,
                              std::size_t count, std::vector<StoredRecord> &records) {
    if (count == 0) return KeyedStatus::success();
    const bool forward = direction == Direction::Forward;
    const std::string order = forward ? "ORDER BY key, recno LIMIT ?3" : "ORDER BY key DESC, recno DESC LIMIT ?3";
    std::string sql;
    if (!from) {
        sql = kColumns + ("WHERE key IS NOT NULL " + order);
    } else {
        const std::string sameKey = std::string("WHERE key = ?1 AND recno ") + (forward ? ">" : "<") +
                                    (inclusive ? "=" : "") + " ?2 ORDER BY recno" + (forward ? "" : " DESC") +
                                    " LIMIT ?3";
        const std::string beyond =
            forward ? "WHERE key > ?1 " + order : "WHERE key IS NOT NULL AND key < ?1 " + order;
        sql = "SELECT * FROM (" + kColumns + sameKey + ") UNION ALL SELECT * FROM (" + kColumns + beyond + ") " +
              (forward ? "ORDER BY 2, 1 LIMIT ?3" : "ORDER BY 2 DESC, 1 DESC LIMIT ?3");
    }
    sqlite::StatementUse rows = db_.cached(sql);
    if (!rows) return db_.status(rows.result());
    if (from) {
        rows->bindBytes(1, from->key);
        rows->bind(2, from->recordNumber);
    }
    rows->bind(3, static_cast<std::int64_t>(std::min<std::size_t>(count, INT32_MAX)));
    int result = SQLITE_OK;
    while ((result = rows->step()) == SQLITE_ROW) {
        StoredRecord &record = records.emplace_back();
        record.recordNumber = static_cast<std::uint32_t>(rows->integer(0));
        record.key = rows->key(1);
        record.version = rows->integer(2);
        const std::string_view data = rows->bytes(3);
        record.data.assign(data.begin(), data.end());
    }
    db_.settle();
    return result == SQLITE_DONE ? KeyedStatus::success() : noted(db_.status(result));
}

KeyedStatus SqliteStore::count(std::int64_t &records) {
    sqlite::StatementUse count = db_.cached("SELECT count(*) FROM records");
    if (!count) return db_.status(count.result());
    const int result = count->step();
    db_.settle();
    if (result != SQLITE_ROW) return noted(db_.status(result));
    records = count->integer(0);
    return KeyedStatus::success();
}

}  // namespace kvr::runtime
