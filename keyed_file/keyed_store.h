// The storage behind a keyed file: where the records, their key values and
// their change counters are kept.  KeyedFile (keyed_file.h) holds the
// cursor, the current record, the record buffer and the last error; a store
// only stores and finds.  It sees records as bytes, keys as key values
// (key_value.h) and answers every call with a KeyedStatus, so that another
// kind of storage can stand behind the same files.  SqliteStore
// (sqlite/sqlite_store.h) keeps one SQLite database per file; PostgresStore
// (postgres/postgres_store.h) one table per file in a PostgreSQL database
// that several stations share (store_choice.h picks one).
//
// One store serves one file definition at a time and is used from one
// thread.  Orders: key order is key value, then record number; records left
// out of the key (no key value) are found by number only.
#ifndef KVR_KEYED_STORE_H
#define KVR_KEYED_STORE_H

#include "keyed_file/access_mode.h"
#include "keyed_file/change_notices.h"
#include "keyed_file/keyed_error.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kvr::keyed {

// One field of a record, for a store that keeps each field in a column of
// its own.  Text: Windows-1252 bytes padded with spaces; Int32: a signed
// little-endian number; Bytes: anything.
struct KeyedField {
    enum class Kind { Text, Int32, Bytes };
    std::string name;  // lower-case letters, digits and underscores
    std::size_t offset = 0;
    std::size_t width = 0;
    Kind kind = Kind::Text;

    bool operator==(const KeyedField &) const = default;
};

// The record layout a file definition expects; a file of another layout is
// refused with KeyedBadDeclaration.
struct KeyedLayout {
    std::string name;  // layout name kept in the file, e.g. "COMMANDS"
    std::size_t recordSize = 0;
    std::size_t keyOffset = 0;  // the key's text field inside the record
    std::size_t keyWidth = 0;
    // The record's fields in order, without gaps, the key's among them.
    // Stores that keep records byte for byte need not look at them.
    std::vector<KeyedField> fields = {};

    bool operator==(const KeyedLayout &) const = default;
};

// How a store operation ended: an engine code (keyed_error.h) and, where the
// storage gave its own result, that result and its message.
struct KeyedStatus {
    int code = KeyedOk;
    std::string driverCode;
    std::string driverText;

    bool ok() const { return code == KeyedOk; }
    static KeyedStatus success() { return {}; }
    static KeyedStatus of(int code) { return {code, {}, {}}; }
};

struct StoredRecord {
    std::uint32_t recordNumber = 0;
    std::optional<std::string> key;  // nothing: left out of the key
    std::int64_t version = 0;        // the change counter, 1 when added
    std::vector<unsigned char> data;
};

// A place in key order: a key value and a record number under it.
struct KeyPlace {
    std::string key;
    std::int64_t recordNumber = 0;
};

enum class Direction { Forward, Backward };

// A record for KeyedStore::insertMany: what insert() takes, and what it gave.
struct NewRecord {
    std::optional<std::string> key;
    std::vector<unsigned char> data;
    KeyedStatus status;
    std::uint32_t recordNumber = 0;
};

class KeyedStore {
public:
    virtual ~KeyedStore() = default;

    // The file itself, named by path.  open checks that the file holds
    // records of the layout (KeyedBadDeclaration) with a sound key (KeyedRebuildKeys), waiting up to
    // waitMs while others hold it; create never replaces a file (KeyedAlreadyExists);
    // buildKeys derives every key value again from the record bytes, on a
    // file that is not open.  Another open of the same file in this process
    // is refused with KeyedAlreadyOpen.
    [[nodiscard]] virtual KeyedStatus open(const std::string &path, OpenMode mode, int waitMs) = 0;
    [[nodiscard]] virtual KeyedStatus create(const std::string &path) = 0;
    [[nodiscard]] virtual KeyedStatus buildKeys(const std::string &path) = 0;
    // Rolls back an open transaction and lets the file go.
    virtual void close() = 0;
    [[nodiscard]] virtual bool isOpen() const = 0;

    // Reads; KeyedNotAvailable when key order has no such record, KeyedRecordNotFound when no record has
    // that number.
    [[nodiscard]] virtual KeyedStatus first(Direction direction, StoredRecord &record) = 0;
    // The record after (Forward) or before (Backward) place in key order.
    [[nodiscard]] virtual KeyedStatus next(const KeyPlace &place, Direction direction, StoredRecord &record) = 0;
    [[nodiscard]] virtual KeyedStatus byNumber(std::uint32_t recordNumber, StoredRecord &record) = 0;
    // Up to count records in key order, appended to records in reading
    // order: from the start (Forward) or the end (Backward) when there is no
    // place, else those after or before the place, the record at the place
    // itself included when inclusive.  Fewer when the key order ends first.
    // All of them come from one read of the file.
    [[nodiscard]] virtual KeyedStatus read(const std::optional<KeyPlace> &from, bool inclusive, Direction direction,
                                           std::size_t count, std::vector<StoredRecord> &records) = 0;
    // All records, also those left out of the key.
    [[nodiscard]] virtual KeyedStatus count(std::int64_t &records) = 0;
    // The records after place in key order (from the start when there is
    // no place) whose key value is lower than below, when given: a part of
    // the key counted without reading it.  The stores count with one query;
    // by default the records are read a page at a time.
    [[nodiscard]] virtual KeyedStatus countKeyOrder(const std::optional<KeyPlace> &after,
                                                    const std::optional<std::string> &below, std::int64_t &records);
    // The caller found a record a read delivered breaking the read rules
    // (read_rules.h): the store's status for a damaged file (KeyedSystemError), and the
    // store remembers the damage so that the next open checks the file in
    // full.  Reads report a record number outside 1 .. 2^32-1 this way
    // themselves.
    [[nodiscard]] virtual KeyedStatus damaged() = 0;
    // For the check at the end of a whole read in key order: the number of
    // records in the key as the store counts them apart from the order it
    // reads them in (nothing: the store keeps no such count, and the check
    // is left out), and a mark that changes whenever another process
    // writes to the file.
    [[nodiscard]] virtual std::optional<std::int64_t> keyedCount() { return std::nullopt; }
    virtual std::uint64_t changeMark() { return 0; }
    // A source of notices of the open file's committed changes by others
    // (change_notices.h), not listening yet, that does not outlive the
    // store; nothing from a store that hears none.
    virtual std::unique_ptr<ChangeNotices> listenForChanges() { return nullptr; }

    // Writes: each is whole or not at all, and part of the transaction when
    // one is open.  Given an expected change counter (a watched write), a
    // record that was changed or deleted since gives KeyedChanged and nothing is
    // written; without one, a deleted record gives KeyedRecordNotFound.
    [[nodiscard]] virtual KeyedStatus insert(const std::optional<std::string> &key,
                                             const std::vector<unsigned char> &data, std::uint32_t &recordNumber) = 0;
    // Adds the records in order, each as insert() would, its status and
    // number in its NewRecord.  A store may send them together; by default
    // one insert() after the other.
    virtual void insertMany(std::vector<NewRecord> &records) {
        for (NewRecord &r : records) r.status = insert(r.key, r.data, r.recordNumber);
    }
    // insertMany in two halves, so that the caller can go on (read the next
    // records) while a server adds: startInsertMany may send the records
    // on, finishInsertMany waits for the end and gives the statuses and
    // numbers.  Between the two the store takes no other call.  By default
    // the first does nothing and the second is insertMany.
    virtual void startInsertMany(std::vector<NewRecord> &records) { (void)records; }
    virtual void finishInsertMany(std::vector<NewRecord> &records) { insertMany(records); }
    // Whether finishInsertMany would find its answer there without waiting
    // (by default there is nothing to wait for).
    virtual bool insertManyAnswered() { return true; }
    [[nodiscard]] virtual KeyedStatus update(std::uint32_t recordNumber, const std::optional<std::string> &key,
                                             const std::vector<unsigned char> &data,
                                             std::optional<std::int64_t> expectedVersion, std::int64_t &version) = 0;
    [[nodiscard]] virtual KeyedStatus remove(std::uint32_t recordNumber,
                                             std::optional<std::int64_t> expectedVersion) = 0;

    // A transaction: begin waits up to timeoutMs for the file (KeyedLocked when it
    // stays busy); a commit that fails has rolled back.
    [[nodiscard]] virtual KeyedStatus begin(int timeoutMs) = 0;
    // A transaction that is about to change the given record (0: none in
    // particular).  A store that locks single records rather than the whole
    // file takes that record's lock here, waiting up to timeoutMs for it (KeyedLocked
    // when another station keeps it); by default this is begin().
    [[nodiscard]] virtual KeyedStatus beginOn(std::uint32_t recordNumber, int timeoutMs) {
        (void)recordNumber;
        return begin(timeoutMs);
    }
    [[nodiscard]] virtual KeyedStatus commit() = 0;
    [[nodiscard]] virtual KeyedStatus rollback() = 0;
};

}  // namespace kvr::keyed

#endif
