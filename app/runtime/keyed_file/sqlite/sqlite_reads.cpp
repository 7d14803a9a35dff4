// Reading a SQLite keyed file: by key order from a place, and by number.
// Each read runs to its end (a page of a view takes the file's lock once)
// and lets the file go at once, so no read holds the file between calls and
// the next one sees what other processes wrote.
#include "runtime/keyed_file/sqlite/sqlite_store.h"

#include "runtime/keyed_file/read_rules.h"

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
    // Checked before it is cut to 32 bits, where it would pass for another.
    if (!recordNumberInRange(read->integer(0))) {
        read->reset();
        return damaged();
    }
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

// First among the records of the place's key value (record-number order),
// then the neighbouring key value: both single index seeks, and simpler
// statements than a page's (a step of the key cursor reads one record).
KeyedStatus SqliteStore::next(const KeyPlace &place, Direction direction, StoredRecord &record) {
    const bool forward = direction == Direction::Forward;
    auto bindPlace = [&place](sqlite::Statement &s) {
        s.bindBytes(1, place.key);
        s.bind(2, place.recordNumber);
    };
    KeyedStatus status = fetch(forward ? "WHERE key = ?1 AND recno > ?2 ORDER BY recno LIMIT 1"
                                       : "WHERE key = ?1 AND recno < ?2 ORDER BY recno DESC LIMIT 1",
                               bindPlace, record);
    if (status.code != KeyedNotAvailable) return status;
    return fetch(forward ? "WHERE key > ?1 ORDER BY key, recno LIMIT 1"
                         : "WHERE key IS NOT NULL AND key < ?1 ORDER BY key DESC, recno DESC LIMIT 1",
                 bindPlace, record);
}

KeyedStatus SqliteStore::byNumber(std::uint32_t recordNumber, StoredRecord &record) {
    KeyedStatus status = fetch(
        "WHERE recno = ?1", [recordNumber](sqlite::Statement &s) { s.bind(1, recordNumber); }, record);
    return status.code == KeyedNotAvailable ? KeyedStatus::of(KeyedRecordNotFound) : status;
}

// The records of the place's own key value after (before) its record
// number, then those of the following (preceding) key values: each an index
// seek, both inside one read transaction, so that the page takes the file's
// lock once and comes from one state of the file.  (A row-value comparison
// on key and record number would walk every record of the key value
// instead.)
KeyedStatus SqliteStore::read(const std::optional<KeyPlace> &from, bool inclusive, Direction direction,
                              std::size_t count, std::vector<StoredRecord> &records) {
    if (count == 0) return KeyedStatus::success();
    const bool forward = direction == Direction::Forward;
    const std::string order = forward ? "ORDER BY key, recno LIMIT ?3" : "ORDER BY key DESC, recno DESC LIMIT ?3";
    const auto run = [&](const std::string &where, std::size_t wanted) -> int {
        sqlite::StatementUse rows = db_.cached(kColumns + where);
        if (!rows) return rows.result();
        if (from) {
            rows->bindBytes(1, from->key);
            rows->bind(2, from->recordNumber);
        }
        rows->bind(3, static_cast<std::int64_t>(std::min<std::size_t>(wanted, INT32_MAX)));
        int result = SQLITE_OK;
        while ((result = rows->step()) == SQLITE_ROW) {
            if (!recordNumberInRange(rows->integer(0))) return SQLITE_CORRUPT;
            StoredRecord &record = records.emplace_back();
            record.recordNumber = static_cast<std::uint32_t>(rows->integer(0));
            record.key = rows->key(1);
            record.version = rows->integer(2);
            const std::string_view data = rows->bytes(3);
            record.data.assign(data.begin(), data.end());
        }
        return result == SQLITE_DONE ? SQLITE_OK : result;
    };
    if (!from) {
        const int result = run("WHERE key IS NOT NULL " + order, count);
        db_.settle();
        return result == SQLITE_OK ? KeyedStatus::success() : noted(db_.status(result));
    }
    const bool ownTransaction = !inTransaction_;
    int result = ownTransaction ? db_.exec("BEGIN") : SQLITE_OK;
    const std::size_t before = records.size();
    if (result == SQLITE_OK) {
        const std::string sameKey = std::string("WHERE key = ?1 AND recno ") + (forward ? ">" : "<") +
                                    (inclusive ? "=" : "") + " ?2 ORDER BY recno" + (forward ? "" : " DESC") +
                                    " LIMIT ?3";
        result = run(sameKey, count);
    }
    const std::size_t found = records.size() - before;
    if (result == SQLITE_OK && found < count)
        result =
            run(forward ? "WHERE key > ?1 " + order : "WHERE key IS NOT NULL AND key < ?1 " + order, count - found);
    if (ownTransaction) db_.exec(result == SQLITE_OK ? "COMMIT" : "ROLLBACK");
    db_.settle();
    return result == SQLITE_OK ? KeyedStatus::success() : noted(db_.status(result));
}

KeyedStatus SqliteStore::damaged() { return noted(db_.status(SQLITE_CORRUPT)); }

// The count the triggers keep on every write (schema.h): one row.
std::optional<std::int64_t> SqliteStore::keyedCount() {
    sqlite::StatementUse count = db_.cached("SELECT keyed FROM keyed_count");
    if (!count || count->step() != SQLITE_ROW) return std::nullopt;
    const std::int64_t keyed = count->integer(0);
    db_.settle();
    return keyed;
}

// SQLite's data version, which moves when another connection commits.
std::uint64_t SqliteStore::changeMark() {
    sqlite::StatementUse version = db_.cached("PRAGMA data_version");
    if (!version || version->step() != SQLITE_ROW) return 0;
    return static_cast<std::uint64_t>(version->integer(0));
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
