// Keyed files as tables of a PostgreSQL database that several stations use
// at once (the tables are described in schema.h and record_columns.h).
//
// The store is given a libpq connection string ("postgresql://user@host/db"
// or "host=... dbname=..."; the password comes from ~/.pgpass or
// PGPASSWORD).  A file's path names its table; open() of a file that is
// not there yet gives KeyedNotFound and create() makes it, so the usual opening makes
// the library on first use.
//
// Reading in key order is one keyset query on the key's index from the
// place given ((key_value, recno) beyond it, LIMIT n): never an OFFSET, so
// a step costs the same anywhere in a large file.  Reads never wait for
// writers.  The key cursor reads ahead a page per round trip (read_ahead.h)
// and the steps that follow take it from memory: a step delivers a record
// as the page read found it, one snapshot for the page, so a record another
// station changed or deleted since is caught where it matters, by the
// watched put or delete (KeyedChanged), and a cursor set again (setStart, setFromKey)
// or this station's own write reads anew.
//
// Every add and put writes the checksum of the record beside its fields
// (record_columns.h) and every read checks it: a row whose fields were
// changed behind the engine's back is damage (KeyedSystemError), never a
// record delivered.  A table of before the checksums is read unchecked and
// gets them at its first open for writing (schema.h).
//
// Writes lock single records, never the table: a transaction about a
// record (beginOn) takes that record's row lock with the transaction's
// time-out as lock_timeout, so that another station's transaction on the
// same record makes it give up with KeyedLocked after the time-out; stations
// changing different records never wait for each other.  Outside a
// transaction every write is a transaction of its own, whole or not at all;
// inside one a put or delete that fails is undone alone (a savepoint) and the
// transaction goes on, while an add, which waits for no lock, fails only
// when the server does and the transaction with it.  A watched put or
// delete compares the row's version inside the same statement.  Adds
// made together inside a transaction (insertMany, the import's) are one
// INSERT, one round trip, which startInsertMany sends and
// finishInsertMany answers, the caller reading on in between.
//
// A station that is killed loses its session, and the server rolls back
// whatever it had not committed.  A dropped connection is made again once
// (connection.h).  A write is never sent again on the new session: a write
// outside a transaction is a transaction of its own, a transaction whose
// session dropped before its commit writes nothing more and fails, and one
// whose session dropped with the commit on its way is looked up by its id
// (txid_status), so that the caller hears whether it was written.
#ifndef KVR_KEYED_POSTGRES_STORE_H
#define KVR_KEYED_POSTGRES_STORE_H

#include "keyed_file/keyed_store.h"
#include "keyed_file/postgres/connection.h"
#include "keyed_file/postgres/record_columns.h"
#include "keyed_file/postgres/share_locks.h"
#include "keyed_file/read_ahead.h"

#include <functional>
#include <string>

namespace kvr::keyed {

class PostgresStore final : public KeyedStore {
public:
    PostgresStore(KeyedLayout layout, std::string conninfo);
    ~PostgresStore() override;

    [[nodiscard]] KeyedStatus open(const std::string &path, OpenMode mode, int waitMs) override;
    [[nodiscard]] KeyedStatus create(const std::string &path) override;
    [[nodiscard]] KeyedStatus buildKeys(const std::string &path) override;
    void close() override;
    [[nodiscard]] bool isOpen() const override { return open_; }

    [[nodiscard]] KeyedStatus first(Direction direction, StoredRecord &record) override;
    [[nodiscard]] KeyedStatus next(const KeyPlace &place, Direction direction, StoredRecord &record) override;
    [[nodiscard]] KeyedStatus read(const std::optional<KeyPlace> &from, bool inclusive, Direction direction,
                                   std::size_t count, std::vector<StoredRecord> &records) override;
    [[nodiscard]] KeyedStatus byNumber(std::uint32_t recordNumber, StoredRecord &record) override;
    [[nodiscard]] KeyedStatus count(std::int64_t &records) override;
    [[nodiscard]] KeyedStatus countKeyOrder(const std::optional<KeyPlace> &after,
                                            const std::optional<std::string> &below, std::int64_t &records) override;
    [[nodiscard]] KeyedStatus damaged() override;

    [[nodiscard]] KeyedStatus insert(const std::optional<std::string> &key, const std::vector<unsigned char> &data,
                                     std::uint32_t &recordNumber) override;
    void insertMany(std::vector<NewRecord> &records) override;
    void startInsertMany(std::vector<NewRecord> &records) override;
    void finishInsertMany(std::vector<NewRecord> &records) override;
    bool insertManyAnswered() override;
    [[nodiscard]] KeyedStatus update(std::uint32_t recordNumber, const std::optional<std::string> &key,
                                     const std::vector<unsigned char> &data,
                                     std::optional<std::int64_t> expectedVersion, std::int64_t &version) override;
    [[nodiscard]] KeyedStatus remove(std::uint32_t recordNumber, std::optional<std::int64_t> expectedVersion) override;

    [[nodiscard]] KeyedStatus begin(int timeoutMs) override;
    [[nodiscard]] KeyedStatus beginOn(std::uint32_t recordNumber, int timeoutMs) override;
    [[nodiscard]] KeyedStatus commit() override;
    [[nodiscard]] KeyedStatus rollback() override;

    // Notices of the table's committed changes by other sessions than this
    // store's, on a session of their own (change_notices.h); they must not
    // outlive the store.
    std::unique_ptr<ChangeNotices> listenForChanges() override;

    // The sessions made so far (one more after every reconnection).
    int sessions() const { return db_.sessions(); }

private:
    [[nodiscard]] KeyedStatus step(const std::optional<KeyPlace> &place, Direction direction, StoredRecord &record);
    // One read of the columns recno, version, key_value and the fields
    // (whereAndOrder follows FROM): KeyedNotAvailable when it finds nothing.
    [[nodiscard]] KeyedStatus fetch(const std::string &whereAndOrder, const pg::Params &params, StoredRecord &record);
    // Runs statement as one atomic write (a savepoint inside a
    // transaction, in the same round trip), verdict telling its outcome.
    [[nodiscard]] KeyedStatus write(const pg::Statement &statement,
                                    const std::function<KeyedStatus(const pg::Outcome &)> &verdict);
    // Connects for create and buildKeys when the file is not open.
    [[nodiscard]] KeyedStatus connectFor(const std::string &path);
    void disconnectUnlessOpen();
    KeyedStatus endTransaction(const char *sql);
    [[nodiscard]] KeyedStatus alone(const std::function<KeyedStatus()> &body);
    std::string insertSql() const;
    // The columns an add writes, and their parameters: the fields, then
    // the checksum in a table of the current form.
    std::string insertColumns() const;
    std::string insertPlaceholders() const;
    bool checksumHolds(const pg::Outcome &read, int row) const;
    KeyedStatus changedRecord() const;
    [[nodiscard]] KeyedStatus commitOutcome(const KeyedStatus &failed);
    [[nodiscard]] static KeyedStatus lostTransaction();

    KeyedLayout layout_;
    pg::RecordColumns columns_;
    pg::Connection db_;
    pg::ShareLocks shares_;
    std::string table_;
    std::string select_;        // "SELECT recno, version, key_value, crc, <fields> FROM <table> "
    bool checksummed_ = false;  // the table keeps the records' checksums
    std::string id_;            // server, database and table, for KeyedAlreadyOpen
    bool open_ = false;
    bool inTransaction_ = false;
    ReadAhead ahead_;
    std::int64_t transactionId_ = 0;  // the server's id of the open transaction
    // startInsertMany: the INSERT sent (its answer to come), or why not.
    bool insertSent_ = false;
    std::optional<KeyedStatus> insertUnsent_;
};

}  // namespace kvr::keyed

#endif
