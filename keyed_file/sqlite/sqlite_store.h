// Keyed files as SQLite databases, one database per file, records stored
// without the tail they share with the layout's blank record and read back
// byte for byte (record_image.h; the tables are described in schema.h),
// each with the checksum of its bytes, checked at every read: a record whose
// bytes no longer match it is damage (KeyedSystemError, and the next open
// checks the file in full), never delivered.  A file of before, which keeps
// every record whole or without its checksum, is read as it is, and turned
// into that form by the first open for writing, in one transaction (a kill
// leaves it as it was), then compacted.
//
// Writes are atomic: each insert, update and delete outside a transaction is
// its own database transaction, and the rollback journal with full
// synchronisation keeps the file whole if a writer dies; a write that was
// cut short (a killed process) is rolled back by the database itself when
// the file is next opened.  The rollback journal (rather than a write-ahead
// log) keeps every committed change in the one file, so a file copied from
// another installation, or read from a read-only medium, is always complete.
//
// Sharing between processes: the access mode's sharing rules are kept by
// ShareLock (share_lock.h); a statement that finds the file busy waits for
// it (connection.h).
//
// Checks at open: a database that is not a keyed file of this layout gives
// KeyedBadDeclaration; a text or damaged file gives KeyedSystemError with the database's message ("file is
// not a database"); a key index, count table or count trigger that is
// missing or defined otherwise, or an index holding another number of
// entries than the records in the key, gives KeyedRebuildKeys.  Counting the entries
// walks the index; it is done only for a file that something else than
// this engine wrote to last, so that opening costs the same at any size
// (schema.h).  buildKeys repairs whatever of the key the checks can find
// damaged and compacts the file.
//
// Reading in key order is one statement of index seeks from the place given,
// whether it reads one record or a page, so a step costs O(log n) and no
// statement stays open between calls (other processes may write in
// between).  The steps of the key cursor (first, next) read ahead: a step
// that finds nothing read ahead reads a few records beyond (more while the
// cursor keeps going on), and the steps that follow take them from memory
// as long as the database's change counter (the file header's, which every
// committed write moves) is the one it had when they were read and this
// store wrote nothing since.  The counter is read under the read's lock,
// and looked at again without any lock at every step, so that each step
// still sees every write another process committed before it (a changed or
// deleted record is read anew), at the cost of one small read of the file
// instead of a statement.
#ifndef KVR_KEYED_SQLITE_STORE_H
#define KVR_KEYED_SQLITE_STORE_H

#include "keyed_file/keyed_store.h"
#include "keyed_file/read_ahead.h"
#include "keyed_file/sqlite/connection.h"
#include "keyed_file/sqlite/store_files.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>
#include <utility>

namespace kvr::keyed {

class SqliteStore final : public KeyedStore {
public:
    explicit SqliteStore(KeyedLayout layout);
    ~SqliteStore() override;

    [[nodiscard]] KeyedStatus open(const std::string &path, OpenMode mode, int waitMs) override;
    [[nodiscard]] KeyedStatus create(const std::string &path) override;
    [[nodiscard]] KeyedStatus buildKeys(const std::string &path) override;
    void close() override;
    [[nodiscard]] bool isOpen() const override { return db_.isOpen(); }

    [[nodiscard]] KeyedStatus first(Direction direction, StoredRecord &record) override;
    [[nodiscard]] KeyedStatus next(const KeyPlace &place, Direction direction, StoredRecord &record) override;
    [[nodiscard]] KeyedStatus byNumber(std::uint32_t recordNumber, StoredRecord &record) override;
    [[nodiscard]] KeyedStatus read(const std::optional<KeyPlace> &from, bool inclusive, Direction direction,
                                   std::size_t count, std::vector<StoredRecord> &records) override;
    [[nodiscard]] KeyedStatus count(std::int64_t &records) override;
    [[nodiscard]] KeyedStatus countKeyOrder(const std::optional<KeyPlace> &after,
                                            const std::optional<std::string> &below, std::int64_t &records) override;
    [[nodiscard]] KeyedStatus damaged() override;
    std::optional<std::int64_t> keyedCount() override;
    std::uint64_t changeMark() override;

    [[nodiscard]] KeyedStatus insert(const std::optional<std::string> &key, const std::vector<unsigned char> &data,
                                     std::uint32_t &recordNumber) override;
    [[nodiscard]] KeyedStatus update(std::uint32_t recordNumber, const std::optional<std::string> &key,
                                     const std::vector<unsigned char> &data,
                                     std::optional<std::int64_t> expectedVersion, std::int64_t &version) override;
    [[nodiscard]] KeyedStatus remove(std::uint32_t recordNumber, std::optional<std::int64_t> expectedVersion) override;

    [[nodiscard]] KeyedStatus begin(int timeoutMs) override;
    [[nodiscard]] KeyedStatus commit() override;
    [[nodiscard]] KeyedStatus rollback() override;

private:
    using FileId = sqlite::FileId;

    // A step of the key cursor from place (nothing: from the end), through
    // the records read ahead.
    [[nodiscard]] KeyedStatus step(const std::optional<KeyPlace> &place, Direction direction, StoredRecord &record);
    // A page in key order, inside a read transaction the caller holds.
    int readPage(const std::optional<KeyPlace> &from, bool inclusive, Direction direction, std::size_t count,
                 std::vector<StoredRecord> &records);
    void forgetAhead() { ahead_.forget(); }
    // At an open for writing of a file of an older form.
    void convertRecords(int waitMs);
    // The bytes to store of a record's image.
    std::string_view stored(const std::vector<unsigned char> &data) const;

    // One read of the columns recno, key, version, data: KeyedNotAvailable when it finds
    // nothing (the caller names its own code for that).
    [[nodiscard]] KeyedStatus fetch(const std::string &where, const std::function<void(sqlite::Statement &)> &bind,
                                    StoredRecord &record);
    // Runs body as one atomic write: a savepoint inside a transaction, else
    // a transaction of its own.
    [[nodiscard]] KeyedStatus write(const std::function<KeyedStatus()> &body);
    [[nodiscard]] KeyedStatus abandon(KeyedStatus status);
    // The checks an open makes, in one read transaction; stamped: the last
    // write was the engine's own.  The connection stays open either way.
    // damagedRecords: the full check found records whose bytes do not
    // match their checksums (the file is not stamped sound).
    [[nodiscard]] KeyedStatus checkAtOpen(bool &stamped, bool &damagedRecords);
    void stampSound();
    [[nodiscard]] KeyedStatus noted(KeyedStatus status);
    void noteCounterAtBegin();
    int stampBeforeCommit();

    KeyedLayout layout_;
    std::string blank_;         // the layout's blank record (record_image.h)
    bool trimmed_ = false;      // the file keeps records without blank tails
    bool checksummed_ = false;  // and with their checksums
    sqlite::Connection db_;
    FileId id_{};
    bool inTransaction_ = false;
    bool stampable_ = false;     // the file has a stamp to move on
    bool counterKnown_ = false;  // the write transaction's counter was read
    std::uint32_t counterAtBegin_ = 0;
    bool distrustPending_ = false;  // damage reported inside a transaction
    ReadAhead ahead_;
    std::uint32_t aheadCounter_ = 0;  // the change counter as ahead_ was read
    std::int64_t lastAdded_ = 0;      // the transaction's last add, 0: none
};

}  // namespace kvr::keyed

#endif
