#include "keyed_file/sqlite/sqlite_store.h"

#include "keyed_file/record_checksum.h"
#include "keyed_file/record_image.h"
#include "keyed_file/sqlite/creation_litter.h"
#include "keyed_file/sqlite/schema.h"
#include "keyed_file/sqlite/status.h"
#include "keyed_file/sqlite/store_files.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <set>

namespace kvr::keyed {

namespace {

// The files open in this process, by device and inode: a second open of
// the same file, under any name, is refused with KeyedAlreadyOpen.  This
// has to be process-wide: SQLite's locks on a database are POSIX record
// locks, which belong to the whole process and so never keep out another
// connection of the same process, whichever object holds it.
std::set<sqlite::FileId> &openIds() {
    // Never destroyed: file definitions with static lifetime leave it late.
    static auto *instance = new std::set<sqlite::FileId>;
    return *instance;
}

// Writing needs the file and its folder (for the rollback journal); a file
// marked read-only is never written, whoever runs the program.
bool writable(const std::string &path, const sqlite::FileFacts &facts) {
    return !facts.markedReadOnly && sqlite::mayWrite(path) == 0 && sqlite::folderWritable(path) == 0;
}

KeyedStatus lockStatus(ShareLock::Result result, int errnoValue) {
    switch (result) {
    case ShareLock::Result::Ok: return KeyedStatus::success();
    case ShareLock::Result::Conflict: return KeyedStatus::of(KeyedLocked);
    case ShareLock::Result::Failed: return sqlite::statusOfErrno(errnoValue);
    }
    return KeyedStatus::of(KeyedSystemError);
}

}  // namespace

SqliteStore::SqliteStore(KeyedLayout layout) : layout_(std::move(layout)), blank_(blankImageOf(layout_)) {}

SqliteStore::~SqliteStore() { close(); }

KeyedStatus SqliteStore::abandon(KeyedStatus status) {
    db_.close();
    return status;
}

KeyedStatus SqliteStore::open(const std::string &path, OpenMode mode, int waitMs) {
    const sqlite::FileFacts facts = sqlite::factsOf(path);
    if (facts.error != 0) return sqlite::statusOfErrno(facts.error);
    if (!facts.regular) return {KeyedSystemError, std::to_string(EISDIR), "not a regular file"};
    const FileId id = facts.id;
    if (openIds().count(id)) return KeyedStatus::of(KeyedAlreadyOpen);
    if (sqlite::mayRead(path) != 0) return KeyedStatus::of(KeyedAccessDenied);
    if (mode.write && !writable(path, facts)) return KeyedStatus::of(KeyedAccessDenied);
    // What a creation or a rebuild killed half-way left next to the file
    // goes: a look at the folder's names (few next to a keyed file, and far
    // cheaper than opening the database), at every create and every open for
    // writing (only those may change the folder).
    if (mode.write) sqlite::removeCreationLitter(path);

    int err = 0;
    if (KeyedStatus locked = lockStatus(db_.share().acquire(path, mode.write, mode.denyRead, mode.denyWrite, err), err);
        !locked.ok())
        return locked;
    int result = db_.open(path, (mode.write ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX);
    if (result != SQLITE_OK) return abandon(db_.status(result));
    db_.setBusyTimeout(std::max(sqlite::Connection::kDefaultBusyMs, waitMs));
    if (mode.write) {
        result = db_.exec("PRAGMA synchronous = FULL");
        if (result != SQLITE_OK) return abandon(db_.status(result));
    }
    bool stamped = false, damagedRecords = false;
    if (KeyedStatus checked = checkAtOpen(stamped, damagedRecords); !checked.ok()) return abandon(std::move(checked));
    if (!stamped && !damagedRecords && mode.write) stampSound();
    if (!checksummed_ && mode.write) convertRecords(waitMs);
    db_.takeDamageReported();
    db_.setBusyTimeout(sqlite::Connection::kDefaultBusyMs);
    id_ = id;
    openIds().insert(id_);
    inTransaction_ = false;
    return KeyedStatus::success();
}

// The checks in one read of the file.  At every open only what costs the
// same at any size: the schema (layoutState), the stamp and the record
// numbers at the two ends of the table (quickState), a few pages in all,
// so that a large file opens as fast as a small one.  The full check
// (fullState), which reads every page, only when something looks wrong:
// the last write was not the engine's own (or a read or write found
// damage since, which clears the stamp), or SQLite reported a page
// corrupt in the reads above.  Damage that none of these meets is found
// by the reads that meet it (the read rules, SQLite's own checks of the
// pages it reads), reported as KeyedSystemError, and the next open checks in full.
KeyedStatus SqliteStore::checkAtOpen(bool &stamped, bool &damagedRecords) {
    int result = db_.exec("BEGIN");
    if (result != SQLITE_OK) return db_.status(result);
    int form = 0;
    sqlite::SchemaState state = sqlite::layoutState(db_, layout_, true, form);
    trimmed_ = sqlite::trimmedForm(form);
    checksummed_ = sqlite::checksummedForm(form);
    stamped = damagedRecords = false;
    if (state.sound()) {
        result = sqlite::lastWriteStamped(db_, stamped, stampable_);
        bool inRange = true;
        if (result == SQLITE_OK) result = sqlite::quickState(db_, inRange);
        if (result == SQLITE_OK && !inRange)
            state = sqlite::SchemaState::ofSqlite(SQLITE_CORRUPT);
        else if ((result & 0xFF) == SQLITE_CORRUPT)
            stamped = false;
        else if (result != SQLITE_OK)
            state = sqlite::SchemaState::ofSqlite(result);
    }
    if (state.sound() && !stamped) state = sqlite::fullState(db_, layout_, form);
    damagedRecords = state.damagedRecords > 0;
    db_.settle();
    if (state.failed()) return db_.status(state.sqliteResult);
    if (!state.sound()) return KeyedStatus::of(state.code);
    result = db_.exec("COMMIT");
    if (result != SQLITE_OK) return db_.status(result);
    return KeyedStatus::success();
}

// A file just walked and found sound is stamped, when nobody else is
// writing to it at that moment (otherwise the next open walks it again).
void SqliteStore::stampSound() {
    db_.setBusyTimeout(0);
    if (db_.exec("BEGIN IMMEDIATE") == SQLITE_OK) {
        if (sqlite::restamp(db_) == SQLITE_OK && db_.exec("COMMIT") == SQLITE_OK)
            stampable_ = true;
        else
            db_.exec("ROLLBACK");
    }
    db_.settle();
}

// Once for a file: its records in the current form (without their blank
// tails, with their checksums), in one write transaction, moving the stamp
// on as any write of the engine does.  When the file cannot be had (others
// busy with it for the whole wait) or the change fails, it is rolled back
// and the file is used as it is: records of an older form read the same
// (unchecked), and its next open for writing tries again.
// Then the file gives back the pages it no longer needs, when nobody else
// is using it at that moment: a transaction of its own, stamped after it
// when the change counter shows that no other write came between.
void SqliteStore::convertRecords(int waitMs) {
    db_.setBusyTimeout(std::max(sqlite::Connection::kDefaultBusyMs, waitMs));
    int result = db_.exec("BEGIN IMMEDIATE");
    if (result == SQLITE_OK) {
        noteCounterAtBegin();
        result = sqlite::convertRecords(db_, layout_);
        if (result == SQLITE_OK) result = stampBeforeCommit();
        if (result == SQLITE_OK) result = db_.exec("COMMIT");
        if (result != SQLITE_OK) db_.exec("ROLLBACK");
    }
    db_.settle();
    if (result != SQLITE_OK) return;
    trimmed_ = checksummed_ = true;
    db_.setBusyTimeout(0);
    if (db_.exec("VACUUM") == SQLITE_OK && counterKnown_ && db_.exec("BEGIN IMMEDIATE") == SQLITE_OK) {
        // The turn stamped its commit, and the compaction's commit is the
        // only one since.
        std::uint32_t counter = 0;
        bool alone = db_.changeCounter(counter) == SQLITE_OK && counter == counterAtBegin_ + 2;
        if (alone) {
            sqlite::StatementUse stamp = db_.cached("SELECT stamp = ?1 FROM keyed_check");
            if (stamp) stamp->bind(1, static_cast<std::uint32_t>(counterAtBegin_ + 1));
            alone = stamp && stamp->step() == SQLITE_ROW && stamp->integer(0) == 1;
        }
        if (!alone || sqlite::restamp(db_) != SQLITE_OK || db_.exec("COMMIT") != SQLITE_OK) db_.exec("ROLLBACK");
    }
    db_.settle();
}

std::string_view SqliteStore::stored(const std::vector<unsigned char> &data) const {
    const std::string_view image(reinterpret_cast<const char *>(data.data()), data.size());
    return trimmed_ ? image.substr(0, keptLength(image, blank_)) : image;
}

// After a read or a write: when the database reported damage, the next open
// walks the index (and asks for the key to be rebuilt if it is not sound).
KeyedStatus SqliteStore::noted(KeyedStatus status) {
    if (db_.takeDamageReported()) distrustPending_ = true;
    if (distrustPending_ && !inTransaction_) {
        // Until the stamp is cleared, the next open could trust the file.
        if (sqlite::clearStamp(db_) == SQLITE_OK) distrustPending_ = false;
    }
    return status;
}

// The change counter as a write transaction begins, for its stamp.
void SqliteStore::noteCounterAtBegin() {
    counterKnown_ = stampable_ && db_.changeCounter(counterAtBegin_) == SQLITE_OK;
}

int SqliteStore::stampBeforeCommit() { return counterKnown_ ? sqlite::stampWrite(db_, counterAtBegin_) : SQLITE_OK; }

void SqliteStore::close() {
    forgetAhead();
    lastAdded_ = 0;
    if (!db_.isOpen()) return;
    if (inTransaction_) db_.exec("ROLLBACK");
    inTransaction_ = false;
    openIds().erase(id_);
    db_.close();
}

KeyedStatus SqliteStore::create(const std::string &path) {
    if (sqlite::nameTaken(path)) return KeyedStatus::of(KeyedAlreadyExists);
    if (const int e = sqlite::folderWritable(path); e != 0) return sqlite::statusOfErrno(e);
    // Built under a temporary name and linked into place, so that nobody
    // ever opens a half-made file and an existing file is never replaced.
    sqlite::removeCreationLitter(path);
    const std::string temp = sqlite::temporaryNameOf(path, "new");
    const std::string journal = temp + "-journal";
    sqlite::removeFile(temp);
    sqlite::removeFile(journal);
    {
        sqlite::Connection made;
        const int result = sqlite::makeKeyedFile(made, temp, layout_);
        if (result != SQLITE_OK) {
            KeyedStatus failed = made.status(result);
            made.close();
            sqlite::removeFile(temp);
            sqlite::removeFile(journal);
            return failed;
        }
    }
    const int e = sqlite::linkNew(temp, path);
    sqlite::removeFile(temp);
    if (e != 0) return e == EEXIST ? KeyedStatus::of(KeyedAlreadyExists) : sqlite::statusOfErrno(e);
    sqlite::syncFolderOf(path);
    return KeyedStatus::success();
}

KeyedStatus SqliteStore::buildKeys(const std::string &path) {
    const sqlite::FileFacts facts = sqlite::factsOf(path);
    if (facts.error != 0) return sqlite::statusOfErrno(facts.error);
    if (openIds().count(facts.id)) return KeyedStatus::of(KeyedAlreadyOpen);
    if (sqlite::mayRead(path) != 0 || !writable(path, facts)) return KeyedStatus::of(KeyedAccessDenied);

    // Alone with the file: others may neither read nor write meanwhile.
    sqlite::Connection db;
    int err = 0;
    if (KeyedStatus locked = lockStatus(db.share().acquire(path, true, true, true, err), err); !locked.ok())
        return locked;
    auto failed = [&db](int result) {
        KeyedStatus status = db.status(result);
        if (db.isOpen()) db.exec("ROLLBACK");
        return status;
    };
    int result = db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    if (result != SQLITE_OK) return failed(result);
    db.usePlainBusyTimeout(sqlite::Connection::kDefaultBusyMs);
    db.exec("PRAGMA synchronous = FULL");
    int form = 0;
    const sqlite::SchemaState state = sqlite::layoutState(db, layout_, false, form);
    if (state.failed()) return failed(state.sqliteResult);
    if (!state.sound()) return KeyedStatus::of(state.code);

    result = db.exec("BEGIN EXCLUSIVE");
    if (result == SQLITE_OK) result = sqlite::rebuildKey(db, layout_);
    if (result == SQLITE_OK) result = db.exec("COMMIT");
    // Gives back pages an index lost from the schema may still hold.
    if (result == SQLITE_OK) result = db.exec("VACUUM");
    // A damaged page that the rebuild in place meets (in the index it drops,
    // in a table beside the records): the records alone, which the open's
    // check read whole, make the file anew.
    if ((result & 0xFF) == SQLITE_CORRUPT) {
        if (db.isOpen()) db.exec("ROLLBACK");
        const std::string temp = sqlite::temporaryNameOf(path, "rebuild");
        const auto removeTemp = [&temp] {
            sqlite::removeFile(temp);
            sqlite::removeFile(temp + "-journal");
        };
        removeTemp();
        result = sqlite::rebuildThroughCopy(db, temp, layout_, form);
        removeTemp();
    }
    return result == SQLITE_OK ? KeyedStatus::success() : failed(result);
}

KeyedStatus SqliteStore::write(const std::function<KeyedStatus()> &body) {
    forgetAhead();
    if (inTransaction_) {
        // Prepared once: a transaction of many writes (an import) pays no
        // parsing per write.
        const auto run = [this](const char *sql) {
            sqlite::StatementUse use = db_.cached(sql);
            return use ? use->step() : use.result();
        };
        const int result = run("SAVEPOINT keyed_write");
        if (result != SQLITE_DONE) return db_.status(result);
        KeyedStatus status = body();
        db_.settle();
        if (!status.ok()) run("ROLLBACK TO keyed_write");
        run("RELEASE keyed_write");
        return status;
    }
    db_.yieldToWaiters();
    int result = db_.exec("BEGIN IMMEDIATE");
    if (result != SQLITE_OK) return noted(db_.status(result));
    noteCounterAtBegin();
    KeyedStatus status = body();
    db_.settle();
    if (status.ok() && (result = stampBeforeCommit()) != SQLITE_OK) status = db_.status(result);
    if (!status.ok()) {
        db_.exec("ROLLBACK");
        return noted(status);
    }
    result = db_.exec("COMMIT");
    if (result != SQLITE_OK) {
        status = db_.status(result);
        db_.exec("ROLLBACK");
    }
    return noted(status);
}

KeyedStatus SqliteStore::insert(const std::optional<std::string> &key, const std::vector<unsigned char> &data,
                                std::uint32_t &recordNumber) {
    std::int64_t recno = 0;
    const auto body = [&]() -> KeyedStatus {
        sqlite::StatementUse insert = db_.cached(
            checksummed_ ? "INSERT INTO records(key, version, data, crc) VALUES (?1, 1, ?2, ?3) RETURNING recno"
                         : "INSERT INTO records(key, version, data) VALUES (?1, 1, ?2) RETURNING recno");
        if (!insert) return db_.status(insert.result());
        insert->bindKey(1, key);
        insert->bindBytes(2, stored(data));
        if (checksummed_) insert->bind(3, recordChecksum(stored(data)));
        const int result = insert->step();
        if (result == SQLITE_ROW) recno = insert->integer(0);
        const int last = insert->step();
        if (result != SQLITE_ROW) return db_.status(result);
        if (last != SQLITE_DONE) return db_.status(last);
        if (recno > INT32_MAX) return {KeyedSystemError, "0", "record numbers exhausted"};
        return KeyedStatus::success();
    };
    KeyedStatus status;
    if (inTransaction_ && lastAdded_ > 0 && lastAdded_ < INT32_MAX) {
        // The transaction keeps others from adding, so this add's number is
        // the one after its last add's and cannot run out: the statement
        // alone is whole or not at all (the database undoes a statement that
        // fails, its trigger's change included), without a savepoint.
        forgetAhead();
        status = body();
        db_.settle();
    } else {
        status = write(body);
    }
    lastAdded_ = status.ok() && inTransaction_ ? recno : 0;
    if (status.ok()) recordNumber = static_cast<std::uint32_t>(recno);
    return status;
}

KeyedStatus SqliteStore::update(std::uint32_t recordNumber, const std::optional<std::string> &key,
                                const std::vector<unsigned char> &data, std::optional<std::int64_t> expectedVersion,
                                std::int64_t &version) {
    return write([&]() -> KeyedStatus {
        std::string sql =
            checksummed_ ? "UPDATE records SET key = ?1, data = ?2, crc = ?5, version = version + 1 WHERE recno = ?3"
                         : "UPDATE records SET key = ?1, data = ?2, version = version + 1 WHERE recno = ?3";
        if (expectedVersion) sql += " AND version = ?4";
        sqlite::StatementUse update = db_.cached(sql + " RETURNING version");
        if (!update) return db_.status(update.result());
        update->bindKey(1, key);
        update->bindBytes(2, stored(data));
        update->bind(3, recordNumber);
        if (expectedVersion) update->bind(4, *expectedVersion);
        if (checksummed_) update->bind(5, recordChecksum(stored(data)));
        const int result = update->step();
        if (result == SQLITE_ROW) version = update->integer(0);
        const int last = result == SQLITE_ROW ? update->step() : result;
        if (result == SQLITE_DONE) return KeyedStatus::of(expectedVersion ? KeyedChanged : KeyedRecordNotFound);
        if (result != SQLITE_ROW) return db_.status(result);
        if (last != SQLITE_DONE) return db_.status(last);
        return KeyedStatus::success();
    });
}

KeyedStatus SqliteStore::remove(std::uint32_t recordNumber, std::optional<std::int64_t> expectedVersion) {
    return write([&]() -> KeyedStatus {
        std::string sql = "DELETE FROM records WHERE recno = ?1";
        if (expectedVersion) sql += " AND version = ?2";
        sqlite::StatementUse remove = db_.cached(sql);
        if (!remove) return db_.status(remove.result());
        remove->bind(1, recordNumber);
        if (expectedVersion) remove->bind(2, *expectedVersion);
        const int result = remove->step();
        if (result != SQLITE_DONE) return db_.status(result);
        if (sqlite3_changes(db_.handle()) == 0)
            return KeyedStatus::of(expectedVersion ? KeyedChanged : KeyedRecordNotFound);
        return KeyedStatus::success();
    });
}

KeyedStatus SqliteStore::begin(int timeoutMs) {
    forgetAhead();
    lastAdded_ = 0;
    db_.setBusyTimeout(std::max(0, timeoutMs));
    db_.yieldToWaiters();
    const int result = db_.exec("BEGIN IMMEDIATE");
    db_.setBusyTimeout(sqlite::Connection::kDefaultBusyMs);
    if (result != SQLITE_OK) return noted(db_.status(result));
    inTransaction_ = true;
    noteCounterAtBegin();
    return KeyedStatus::success();
}

KeyedStatus SqliteStore::commit() {
    forgetAhead();
    lastAdded_ = 0;
    int result = stampBeforeCommit();
    if (result == SQLITE_OK) result = db_.exec("COMMIT");
    inTransaction_ = false;
    if (result == SQLITE_OK) return noted(KeyedStatus::success());
    KeyedStatus status = db_.status(result);
    db_.exec("ROLLBACK");
    return noted(status);
}

KeyedStatus SqliteStore::rollback() {
    forgetAhead();
    lastAdded_ = 0;
    const int result = db_.exec("ROLLBACK");
    inTransaction_ = false;
    return noted(result == SQLITE_OK ? KeyedStatus::success() : db_.status(result));
}

}  // namespace kvr::keyed
