// Reading a SQLite keyed file: by key order from a place, and by number.
// Each read runs to its end (a page of a view takes the file's lock once)
// and lets the file go at once, so no read holds the file between calls and
// the next one sees what other processes wrote.
#include "keyed_file/sqlite/sqlite_store.h"

#include "keyed_file/read_rules.h"
#include "keyed_file/record_checksum.h"
#include "keyed_file/record_image.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <string>
#include <utility>
#include <vector>

namespace kvr::keyed {

namespace {
// The columns every read takes, the checksum last (NULL from a file of an
// older form, which has none).
const std::string kColumns[2] = {"SELECT recno, key, version, data, NULL FROM records ",
                                 "SELECT recno, key, version, data, crc FROM records "};

// Whether the bytes a row keeps of its record match the checksum read with
// them (a record of an older form has none to match; in the current form a
// missing checksum, which the table does not allow, is damage too).
bool checksumHolds(const sqlite::Statement &row, bool checksummed) {
    if (!checksummed) return true;
    return !row.isNull(4) && row.integer(4) == static_cast<std::int64_t>(recordChecksum(row.bytes(3)));
}

// Ends the read transaction a read began: COMMIT after a good read, else
// ROLLBACK.  A closing statement that fails is the read's result (a read
// whose transaction stayed open would keep the file's lock and see no
// later writes); a ROLLBACK then lets the file go all the same.
template <class Run>
int endRead(sqlite3 *db, int result, const Run &run) {
    const int closing = run(result == SQLITE_OK ? "COMMIT" : "ROLLBACK");
    if (result == SQLITE_OK) result = closing;
    if (sqlite3_get_autocommit(db) == 0) (void)run("ROLLBACK");
    return result;
}
}  // namespace

KeyedStatus SqliteStore::fetch(const std::string &where, const std::function<void(sqlite::Statement &)> &bind,
                               StoredRecord &record) {
    sqlite::StatementUse read = db_.cached(kColumns[checksummed_ ? 1 : 0] + where);
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
    restoreImage(read->bytes(3), blank_, record.data);
    // Bytes that changed since the engine wrote them are never delivered.
    if (!checksumHolds(*read, checksummed_)) {
        read->reset();
        record = StoredRecord{};
        return damaged();
    }
    return KeyedStatus::success();
}

KeyedStatus SqliteStore::first(Direction direction, StoredRecord &record) {
    return step(std::nullopt, direction, record);
}

KeyedStatus SqliteStore::next(const KeyPlace &place, Direction direction, StoredRecord &record) {
    return step(place, direction, record);
}

// A step takes what was read ahead while the cursor goes on from the record
// delivered last and no write was committed since it was read (a look at
// the file header's counter, without a lock: a commit in progress has
// either not reached the header, and the records read are still the
// file's, or has, and they are read anew).
KeyedStatus SqliteStore::step(const std::optional<KeyPlace> &place, Direction direction, StoredRecord &record) {
    std::uint32_t counter = 0;
    const auto unchanged = [&] { return db_.changeCounter(counter) == SQLITE_OK && counter == aheadCounter_; };
    // The page and the counter under one lock of the file, so that the
    // counter is the one of the state the page was read from.  Prepared
    // once, as the reads are.
    const auto readAhead = [&](std::size_t size, std::vector<StoredRecord> &records) {
        const auto run = [this](const char *sql) {
            sqlite::StatementUse use = db_.cached(sql);
            const int result = use ? use->step() : use.result();
            return result == SQLITE_DONE ? SQLITE_OK : result;
        };
        const bool ownTransaction = sqlite3_get_autocommit(db_.handle()) != 0;
        int result = ownTransaction ? run("BEGIN") : SQLITE_OK;
        if (result == SQLITE_OK) result = readPage(place, false, direction, size, records);
        const bool counted = result == SQLITE_OK && db_.changeCounter(counter) == SQLITE_OK;
        const bool pageRead = result == SQLITE_OK;
        if (ownTransaction) result = endRead(db_.handle(), result, run);
        db_.settle();
        PageRead page{result == SQLITE_OK ? KeyedStatus::success() : noted(db_.status(result))};
        // A page whose transaction did not end is not delivered: the failure is.
        page.deliver = !(pageRead && !page.status.ok());
        page.keep = counted;
        aheadCounter_ = counter;
        return page;
    };
    return ahead_.step(place, direction, unchanged, readAhead, record);
}

KeyedStatus SqliteStore::byNumber(std::uint32_t recordNumber, StoredRecord &record) {
    KeyedStatus status = fetch(
        "WHERE recno = ?1", [recordNumber](sqlite::Statement &s) { s.bind(1, recordNumber); }, record);
    return status.code == KeyedNotAvailable ? KeyedStatus::of(KeyedRecordNotFound) : status;
}

// The statements of a page: from the start (end), the records of the
// place's own key value after (before) its record number, with or without
// it, and those of the following (preceding) key values; made once.
namespace {
struct PageStatements {
    std::string fromEnd, sameKey[2], beyondKey;
};

PageStatements pageStatementsOf(const std::string &columns, bool forward) {
    if (!forward) {
        const std::string order = " ORDER BY key DESC, recno DESC LIMIT ?3";
        return PageStatements{columns + "WHERE key IS NOT NULL" + order,
                              {columns + "WHERE key = ?1 AND recno < ?2 ORDER BY recno DESC LIMIT ?3",
                               columns + "WHERE key = ?1 AND recno <= ?2 ORDER BY recno DESC LIMIT ?3"},
                              columns + "WHERE key IS NOT NULL AND key < ?1" + order};
    }
    const std::string order = " ORDER BY key, recno LIMIT ?3";
    return PageStatements{columns + "WHERE key IS NOT NULL" + order,
                          {columns + "WHERE key = ?1 AND recno > ?2 ORDER BY recno LIMIT ?3",
                           columns + "WHERE key = ?1 AND recno >= ?2 ORDER BY recno LIMIT ?3"},
                          columns + "WHERE key > ?1" + order};
}

const PageStatements &pageStatements(bool checksummed, bool forward) {
    static const PageStatements statements[2][2] = {
        {pageStatementsOf(kColumns[0], false), pageStatementsOf(kColumns[0], true)},
        {pageStatementsOf(kColumns[1], false), pageStatementsOf(kColumns[1], true)}};
    return statements[checksummed ? 1 : 0][forward ? 1 : 0];
}
}  // namespace

// The records of the place's own key value after (before) its record
// number, then those of the following (preceding) key values: each an index
// seek.  (A row-value comparison on key and record number would walk every
// record of the key value instead.)  Inside one read transaction, the page
// comes from one state of the file.
int SqliteStore::readPage(const std::optional<KeyPlace> &from, bool inclusive, Direction direction, std::size_t count,
                          std::vector<StoredRecord> &records) {
    const PageStatements &statements = pageStatements(checksummed_, direction == Direction::Forward);
    const auto run = [&](const std::string &sql, std::size_t wanted) -> int {
        sqlite::StatementUse rows = db_.cached(sql);
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
            restoreImage(rows->bytes(3), blank_, record.data);
            // The page ends before a record whose bytes changed: the records
            // before it are the page, the damage its status.
            if (!checksumHolds(*rows, checksummed_)) {
                records.pop_back();
                return SQLITE_CORRUPT;
            }
        }
        return result == SQLITE_DONE ? SQLITE_OK : result;
    };
    if (!from) return run(statements.fromEnd, count);
    const std::size_t before = records.size();
    int result = run(statements.sameKey[inclusive ? 1 : 0], count);
    const std::size_t found = records.size() - before;
    if (result == SQLITE_OK && found < count) result = run(statements.beyondKey, count - found);
    return result;
}

// A page takes the file's lock once.
KeyedStatus SqliteStore::read(const std::optional<KeyPlace> &from, bool inclusive, Direction direction,
                              std::size_t count, std::vector<StoredRecord> &records) {
    if (count == 0) return KeyedStatus::success();
    const bool ownTransaction = from && sqlite3_get_autocommit(db_.handle()) != 0;
    int result = ownTransaction ? db_.exec("BEGIN") : SQLITE_OK;
    if (result == SQLITE_OK) result = readPage(from, inclusive, direction, count, records);
    if (ownTransaction) result = endRead(db_.handle(), result, [this](const char *sql) { return db_.exec(sql); });
    db_.settle();
    return result == SQLITE_OK ? KeyedStatus::success() : noted(db_.status(result));
}
KeyedStatus SqliteStore::damaged() {
    forgetAhead();
    return noted(db_.status(SQLITE_CORRUPT));
}

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

// One statement, so one state of the file.  Up to a bound, the index
// entries in the range; to the end, the count the triggers keep less the
// entries up to the place, so that a place near the start costs little
// however long the key goes on.
KeyedStatus SqliteStore::countKeyOrder(const std::optional<KeyPlace> &after, const std::optional<std::string> &below,
                                       std::int64_t &records) {
    static const std::string statements[2][2] = {
        {"SELECT keyed FROM keyed_count",
         "SELECT (SELECT keyed FROM keyed_count) - (SELECT count(*) FROM records WHERE key < ?1)"
         " - (SELECT count(*) FROM records WHERE key = ?1 AND recno <= ?2)"},
        {"SELECT count(*) FROM records WHERE key < ?3",
         "SELECT (SELECT count(*) FROM records WHERE key = ?1 AND recno > ?2)"
         " + (SELECT count(*) FROM records WHERE key > ?1 AND key < ?3)"}};
    sqlite::StatementUse count = db_.cached(statements[below ? 1 : 0][after ? 1 : 0]);
    if (!count) return db_.status(count.result());
    if (after) {
        count->bindBytes(1, after->key);
        count->bind(2, after->recordNumber);
    }
    if (below) count->bindBytes(3, *below);
    const int result = count->step();
    if (result == SQLITE_ROW) records = count->integer(0);
    db_.settle();
    return result == SQLITE_ROW ? KeyedStatus::success() : noted(db_.status(result));
}

}  // namespace kvr::keyed
