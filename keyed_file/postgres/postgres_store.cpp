#include "keyed_file/postgres/postgres_store.h"

#include "keyed_file/postgres/change_notices.h"
#include "keyed_file/postgres/schema.h"
#include "keyed_file/postgres/status.h"
#include "keyed_file/read_rules.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <string_view>
#include <thread>
#include <set>

namespace kvr::keyed {

namespace {

// The files open in this process, by server, database and table: a second
// open of the same file is refused with KeyedAlreadyOpen, as a local file's
// is.  This has to be process-wide: each open has a session of its own, and
// the server's locks would answer a second open of this process as one of
// another station.
std::set<std::string> &openIds() {
    // Never destroyed: file definitions with static lifetime leave it late.
    static auto *instance = new std::set<std::string>;
    return *instance;
}

}  // namespace

PostgresStore::PostgresStore(KeyedLayout layout, std::string conninfo)
    : layout_(std::move(layout)), columns_(layout_), db_(std::move(conninfo)) {}

PostgresStore::~PostgresStore() { close(); }

KeyedStatus PostgresStore::open(const std::string &path, OpenMode mode, int waitMs) {
    ahead_.forget();
    (void)waitMs;  // sharing conflicts are answered at once; "Recover" retries them
    if (!columns_.valid()) return KeyedStatus::of(KeyedBadDeclaration);
    table_ = pg::tableNameOf(path);
    if (KeyedStatus connected = db_.connect(); !connected.ok()) return connected;
    id_ = db_.identity() + "/" + table_;
    int version = 0;
    KeyedStatus status = openIds().count(id_) ? KeyedStatus::of(KeyedAlreadyOpen) : KeyedStatus::success();
    // The look at the schema, the write rights and the sharing locks in
    // one round trip: locks taken on a file refused are let go with the
    // session below.
    std::vector<pg::Statement> batch = pg::schemaLook(table_);
    const std::size_t rights = batch.size();
    if (mode.write) batch.push_back(pg::writeRightsLook(table_));
    const std::size_t shares = batch.size();
    for (pg::Statement &statement : shares_.look(table_, mode)) batch.push_back(std::move(statement));
    const std::vector<pg::Outcome> answers = status.ok() ? db_.runAll(batch) : std::vector<pg::Outcome>();
    if (status.ok()) status = pg::schemaOf(answers.data(), table_, layout_, columns_, true, version);
    if (status.ok() && mode.write) status = pg::writeRightsOf(answers[rights], table_);
    // A table of before the checksums gets them at its first open for
    // writing; when that cannot be (another user owns the table) it is used
    // as it is, its records read unchecked.
    if (status.ok() && mode.write && version == pg::kUncheckedVersion && pg::addChecksums(db_, table_, columns_).ok())
        version = pg::kSchemaVersion;
    checksummed_ = version == pg::kSchemaVersion;
    if (status.ok()) status = shares_.taken(db_, answers.data() + shares);
    if (!status.ok()) {
        db_.close();
        return status;
    }
    db_.setOnReconnect([this] { return shares_.again(db_); });
    select_ = "SELECT recno, version, key_value, " + std::string(checksummed_ ? "crc, " : "NULL::bigint, ") +
              columns_.names() + " FROM " + table_ + " ";
    openIds().insert(id_);
    open_ = true;
    inTransaction_ = false;
    return KeyedStatus::success();
}

std::unique_ptr<ChangeNotices> PostgresStore::listenForChanges() {
    if (!open_) return nullptr;
    return std::make_unique<pg::ChangeListener>(db_.conninfo(), table_, [this] { return db_.backendPid(); });
}

void PostgresStore::close() {
    ahead_.forget();
    if (!open_) return;
    if (inTransaction_) db_.exec("ROLLBACK");
    inTransaction_ = false;
    db_.setOnReconnect({});
    shares_.forget();
    db_.close();
    openIds().erase(id_);
    open_ = false;
}

KeyedStatus PostgresStore::connectFor(const std::string &path) {
    if (!columns_.valid()) return KeyedStatus::of(KeyedBadDeclaration);
    if (open_) return KeyedStatus::success();
    table_ = pg::tableNameOf(path);
    return db_.connect();
}

void PostgresStore::disconnectUnlessOpen() {
    if (!open_) db_.close();
}

KeyedStatus PostgresStore::create(const std::string &path) {
    if (open_ && pg::tableNameOf(path) == table_) return KeyedStatus::of(KeyedAlreadyExists);
    if (KeyedStatus connected = connectFor(path); !connected.ok()) return connected;
    KeyedStatus status = pg::makeSchema(db_, pg::tableNameOf(path), layout_, columns_);
    disconnectUnlessOpen();
    return status;
}

KeyedStatus PostgresStore::buildKeys(const std::string &path) {
    if (open_) return KeyedStatus::of(KeyedAlreadyOpen);
    if (KeyedStatus connected = connectFor(path); !connected.ok()) return connected;
    int version = 0;
    KeyedStatus status = openIds().count(db_.identity() + "/" + table_)
                             ? KeyedStatus::of(KeyedAlreadyOpen)
                             : pg::checkSchema(db_, table_, layout_, columns_, false, version);
    if (status.ok()) status = pg::rebuildKey(db_, table_, columns_);
    disconnectUnlessOpen();
    return status;
}

KeyedStatus PostgresStore::fetch(const std::string &whereAndOrder, const pg::Params &params, StoredRecord &record) {
    const pg::Outcome read = db_.run(select_ + whereAndOrder, params);
    if (!read.ok()) return read.status();
    if (read.rows() == 0) return KeyedStatus::of(KeyedNotAvailable);
    if (!recordNumberInRange(read.int4(0, 0))) return damaged();
    record.recordNumber = static_cast<std::uint32_t>(read.int4(0, 0));
    record.version = read.int8(0, 1);
    record.key = read.isNull(0, 2) ? std::nullopt : std::optional<std::string>(std::string(read.bytes(0, 2)));
    record.data = columns_.recordOf(read, 0, 4);
    if (!checksumHolds(read, 0)) {
        record = StoredRecord{};
        return changedRecord();
    }
    return KeyedStatus::success();
}

KeyedStatus PostgresStore::first(Direction direction, StoredRecord &record) {
    return step(std::nullopt, direction, record);
}

KeyedStatus PostgresStore::next(const KeyPlace &place, Direction direction, StoredRecord &record) {
    return step(place, direction, record);
}

// A page per round trip: the steps after it take the records read, for as
// long as the cursor goes on from them.
KeyedStatus PostgresStore::step(const std::optional<KeyPlace> &place, Direction direction, StoredRecord &record) {
    return ahead_.step(
        place, direction, [] { return true; },
        [&](std::size_t size, std::vector<StoredRecord> &records) {
            return PageRead{read(place, false, direction, size, records)};
        },
        record);
}

// A page of the key order: one keyset query on the key's index, so the rows
// come from one snapshot of the table and no OFFSET is ever counted off.
KeyedStatus PostgresStore::read(const std::optional<KeyPlace> &from, bool inclusive, Direction direction,
                                std::size_t count, std::vector<StoredRecord> &records) {
    if (count == 0) return KeyedStatus::success();
    const bool forward = direction == Direction::Forward;
    std::string where = "WHERE key_value IS NOT NULL";
    pg::Params params;
    if (from) {
        where += std::string(" AND (key_value, recno) ") + (forward ? ">" : "<") + (inclusive ? "=" : "") + " ($1, $2)";
        params.bytes(from->key).int4(static_cast<std::int32_t>(std::min<std::int64_t>(from->recordNumber, INT32_MAX)));
    }
    // The page's size a parameter: one statement for every size the
    // read-ahead asks, prepared once on the session.
    std::string limit = std::to_string(params.count() + 1);
    limit.insert(limit.begin(), '$');
    params.int8(static_cast<std::int64_t>(std::min<std::size_t>(count, INT32_MAX)));
    const pg::Outcome read = db_.run(
        select_ + where +
            (forward ? " ORDER BY key_value, recno LIMIT " : " ORDER BY key_value DESC, recno DESC LIMIT ") + limit,
        params);
    if (!read.ok()) return read.status();
    for (int row = 0; row < read.rows(); ++row) {
        if (!recordNumberInRange(read.int4(row, 0))) return damaged();
        StoredRecord &record = records.emplace_back();
        record.recordNumber = static_cast<std::uint32_t>(read.int4(row, 0));
        record.version = read.int8(row, 1);
        record.key = read.isNull(row, 2) ? std::nullopt : std::optional<std::string>(std::string(read.bytes(row, 2)));
        record.data = columns_.recordOf(read, row, 4);
        // The page ends before a record whose fields changed behind the
        // engine's back, with the damage.
        if (!checksumHolds(read, row)) {
            records.pop_back();
            return changedRecord();
        }
    }
    return KeyedStatus::success();
}

KeyedStatus PostgresStore::byNumber(std::uint32_t recordNumber, StoredRecord &record) {
    if (recordNumber == 0 || recordNumber > INT32_MAX) return KeyedStatus::of(KeyedRecordNotFound);
    KeyedStatus status = fetch("WHERE recno = $1", pg::Params().int4(static_cast<std::int32_t>(recordNumber)), record);
    return status.code == KeyedNotAvailable ? KeyedStatus::of(KeyedRecordNotFound) : status;
}

KeyedStatus PostgresStore::count(std::int64_t &records) {
    const pg::Outcome counted = db_.run("SELECT count(*) FROM " + table_, pg::Params());
    if (!counted.ok()) return counted.status();
    records = counted.int8(0, 0);
    return KeyedStatus::success();
}

// One query on the key's index: the part of the key order after the place,
// below the bound.
KeyedStatus PostgresStore::countKeyOrder(const std::optional<KeyPlace> &after, const std::optional<std::string> &below,
                                         std::int64_t &records) {
    std::string where = "WHERE key_value IS NOT NULL";
    pg::Params params;
    if (after) {
        where += " AND (key_value, recno) > ($1, $2)";
        params.bytes(after->key)
            .int4(static_cast<std::int32_t>(std::min<std::int64_t>(after->recordNumber, INT32_MAX)));
    }
    if (below) {
        where += " AND key_value < $" + std::to_string(params.count() + 1);
        params.bytes(*below);
    }
    const pg::Outcome counted = db_.run("SELECT count(*) FROM " + table_ + " " + where, params);
    if (!counted.ok()) return counted.status();
    records = counted.int8(0, 0);
    return KeyedStatus::success();
}

// The server keeps its index whole; what breaks the read rules here is a
// table changed behind the engine's back (a record number below 1, a key
// value that is not the key field's).
KeyedStatus PostgresStore::damaged() {
    return {KeyedSystemError, "XX001", "data corrupted: a record of " + table_ + " breaks the key order"};
}

KeyedStatus PostgresStore::changedRecord() const {
    return {KeyedSystemError, "XX001", "data corrupted: a record of " + table_ + " does not match its checksum"};
}

// A row of the table's own form carries the checksum of its field values
// (column 3, the fields from column 4); NULL, a row another program wrote,
// is not checked.
bool PostgresStore::checksumHolds(const pg::Outcome &read, int row) const {
    return read.isNull(row, 3) || read.int8(row, 3) == static_cast<std::int64_t>(columns_.checksumOf(read, row, 4));
}

KeyedStatus PostgresStore::write(const pg::Statement &statement,
                                 const std::function<KeyedStatus(const pg::Outcome &)> &verdict) {
    ahead_.forget();
    if (!inTransaction_) return alone([&] { return verdict(db_.run(statement.sql, statement.params)); });
    if (db_.transactionLost()) return lostTransaction();
    // The savepoint, the write and the savepoint's release in one round
    // trip.  A write that fails stops the batch there, the transaction
    // aborted at it: it is undone to the savepoint.
    const std::vector<pg::Outcome> done = db_.runAll(
        {{"SAVEPOINT keyed_write", pg::Params()}, statement, {"RELEASE SAVEPOINT keyed_write", pg::Params()}});
    if (!done[0].ok()) return done[0].status();
    if (db_.transactionLost()) return done[1].ok() ? done[2].status() : done[1].status();
    if (!done[1].ok()) {
        db_.exec("ROLLBACK TO SAVEPOINT keyed_write");
        db_.exec("RELEASE SAVEPOINT keyed_write");
        return done[1].status();
    }
    // A write that found nothing to change changed nothing: the savepoint
    // released is as good as one rolled back to.
    KeyedStatus status = verdict(done[1]);
    return done[2].ok() ? status : done[2].status();
}

KeyedStatus PostgresStore::insert(const std::optional<std::string> &key, const std::vector<unsigned char> &data,
                                  std::uint32_t &recordNumber) {
    (void)key;  // the server computes it from the key's field
    ahead_.forget();
    // An insert waits for no lock, so only a failure of the server itself
    // could stop it, and that ends the transaction anyway: no savepoint
    // (which would triple the round trips of a long import).
    const auto body = [&]() -> KeyedStatus {
        pg::Params params;
        columns_.addValues(params, data);
        if (checksummed_) params.int8(columns_.checksumOf(params));
        const pg::Outcome added = db_.run(insertSql(), params);
        if (!added.ok()) return added.status();
        recordNumber = static_cast<std::uint32_t>(added.int4(0, 0));
        return KeyedStatus::success();
    };
    if (!inTransaction_) return alone(body);
    if (db_.transactionLost()) return lostTransaction();
    return body();
}

std::string PostgresStore::insertSql() const {
    return "INSERT INTO " + table_ + " (" + insertColumns() + ") VALUES (" + insertPlaceholders() + ") RETURNING recno";
}

std::string PostgresStore::insertColumns() const { return columns_.names() + (checksummed_ ? ", crc" : ""); }

std::string PostgresStore::insertPlaceholders() const {
    return columns_.placeholders() + (checksummed_ ? ", $" + std::to_string(columns_.count() + 1) : "");
}

// Inside a transaction the adds are one INSERT of all the records (each
// field's values an array, unnest making them rows again), one round trip:
// a record the server refuses ends the transaction, as a single add's
// refusal does, and every add of the statement fails with it.  Outside one
// each add stays a transaction of its own.
void PostgresStore::insertMany(std::vector<NewRecord> &records) {
    startInsertMany(records);
    finishInsertMany(records);
}

void PostgresStore::startInsertMany(std::vector<NewRecord> &records) {
    ahead_.forget();
    insertSent_ = false;
    insertUnsent_.reset();
    if (!inTransaction_ || records.size() < 2) return;  // one insert() after the other
    if (db_.transactionLost()) {
        insertUnsent_ = lostTransaction();
        return;
    }
    std::vector<pg::Params> rows(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        columns_.addValues(rows[i], records[i].data);
        if (checksummed_) rows[i].int8(columns_.checksumOf(rows[i]));
    }
    pg::Params arrays;
    const int columns = static_cast<int>(columns_.count()) + (checksummed_ ? 1 : 0);
    for (int column = 0; column < columns; ++column) arrays.arrayOf(rows, column);
    const KeyedStatus sent = db_.send("INSERT INTO " + table_ + " (" + insertColumns() + ") SELECT * FROM unnest(" +
                                          insertPlaceholders() + ") RETURNING recno",
                                      arrays);
    if (sent.ok())
        insertSent_ = true;
    else
        insertUnsent_ = sent;
}

bool PostgresStore::insertManyAnswered() { return !insertSent_ || db_.answered(); }

void PostgresStore::finishInsertMany(std::vector<NewRecord> &records) {
    ahead_.forget();
    if (!insertSent_ && !insertUnsent_) return KeyedStore::insertMany(records);
    const pg::Outcome added =
        insertSent_ && db_.awaiting()
            ? db_.receive()
            : pg::Outcome(nullptr, insertUnsent_.value_or(pg::systemError("the answer to the adds was not read")));
    insertSent_ = false;
    insertUnsent_.reset();
    KeyedStatus status = added.status();
    if (status.ok() && added.rows() != static_cast<int>(records.size()))
        status = pg::systemError("the server added " + std::to_string(added.rows()) + " of " +
                                 std::to_string(records.size()) + " records");
    // The numbers are drawn row after row: in ascending order they are the
    // records' in theirs.
    std::vector<std::uint32_t> numbers;
    for (int row = 0; status.ok() && row < added.rows(); ++row)
        numbers.push_back(static_cast<std::uint32_t>(added.int4(row, 0)));
    std::sort(numbers.begin(), numbers.end());
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].status = status;
        records[i].recordNumber = status.ok() ? numbers[i] : 0;
    }
}

// A write outside a transaction is a transaction of its own, so that a
// reply lost on the way is resolved as a commit's is (endTransaction) and
// the write is never run again blindly on a new session: an add run twice
// would store the record twice, a put or delete would report failure for
// what was written.
KeyedStatus PostgresStore::alone(const std::function<KeyedStatus()> &body) {
    if (KeyedStatus begun = beginOn(0, 0); !begun.ok()) return begun;
    KeyedStatus status = body();
    if (!status.ok()) {
        endTransaction("ROLLBACK");
        return status;
    }
    return endTransaction("COMMIT");
}

KeyedStatus PostgresStore::lostTransaction() {
    return pg::systemError("the connection to the server was lost: nothing of the transaction was written");
}

KeyedStatus PostgresStore::update(std::uint32_t recordNumber, const std::optional<std::string> &key,
                                  const std::vector<unsigned char> &data, std::optional<std::int64_t> expectedVersion,
                                  std::int64_t &version) {
    (void)key;
    if (recordNumber == 0 || recordNumber > INT32_MAX)
        return KeyedStatus::of(expectedVersion ? KeyedChanged : KeyedRecordNotFound);
    pg::Params params;
    columns_.addValues(params, data);
    const std::uint32_t checksum = columns_.checksumOf(params);
    const std::size_t n = columns_.count();
    params.int4(static_cast<std::int32_t>(recordNumber));
    std::string sql = "UPDATE " + table_ + " SET " + columns_.assignments() + ", version = version + 1 WHERE recno = $" +
                      std::to_string(n + 1);
    std::size_t next = n + 2;
    if (expectedVersion) {
        params.int8(*expectedVersion);
        sql += " AND version = $" + std::to_string(next++);
    }
    if (checksummed_) {
        params.int8(checksum);
        sql.insert(sql.find(", version = version + 1"), ", crc = $" + std::to_string(next));
    }
    return write({sql + " RETURNING version", std::move(params)}, [&](const pg::Outcome &put) -> KeyedStatus {
        if (!put.ok()) return put.status();
        if (put.rows() == 0) return KeyedStatus::of(expectedVersion ? KeyedChanged : KeyedRecordNotFound);
        version = put.int8(0, 0);
        return KeyedStatus::success();
    });
}

KeyedStatus PostgresStore::remove(std::uint32_t recordNumber, std::optional<std::int64_t> expectedVersion) {
    if (recordNumber == 0 || recordNumber > INT32_MAX)
        return KeyedStatus::of(expectedVersion ? KeyedChanged : KeyedRecordNotFound);
    pg::Params params;
    params.int4(static_cast<std::int32_t>(recordNumber));
    std::string sql = "DELETE FROM " + table_ + " WHERE recno = $1";
    if (expectedVersion) {
        params.int8(*expectedVersion);
        sql += " AND version = $2";
    }
    return write({sql, std::move(params)}, [&](const pg::Outcome &removed) -> KeyedStatus {
        if (!removed.ok()) return removed.status();
        if (removed.affected() == 0) return KeyedStatus::of(expectedVersion ? KeyedChanged : KeyedRecordNotFound);
        return KeyedStatus::success();
    });
}

KeyedStatus PostgresStore::begin(int timeoutMs) { return beginOn(0, timeoutMs); }

KeyedStatus PostgresStore::beginOn(std::uint32_t recordNumber, int timeoutMs) {
    ahead_.forget();
    db_.clearTransactionLost();
    // The transaction's id, taken at once: should the reply to its commit be
    // lost, the server tells by it whether the commit was done.  The lock
    // wait goes in the same round trip, which is sent before the store is
    // in a transaction: a session found gone is made again and the whole
    // of it sent once more, so that the one reconnection comes before any
    // statement of the transaction and a drop here costs nothing.
    //
    // The record's row lock goes in the same round trip: it waits up to
    // lock_timeout, or not at all, and sent again after a drop it takes
    // the same lock once more.  A lock not had fails the transaction's
    // start, which is rolled back.
    const std::string lockWait =
        timeoutMs > 0 ? "SET LOCAL lock_timeout = " + std::to_string(timeoutMs) + "; " : std::string();
    std::string rowLock;
    if (recordNumber != 0 && recordNumber <= INT32_MAX)
        rowLock = ", (SELECT count(*) FROM (SELECT 1 FROM " + table_ + " WHERE recno = " +
                  std::to_string(recordNumber) + " FOR UPDATE" + (timeoutMs > 0 ? "" : " NOWAIT") + ") AS locked)";
    const pg::Outcome begun = db_.exec("BEGIN; " + lockWait + "SELECT txid_current()" + rowLock);
    if (!begun.ok()) {
        if (db_.connected()) db_.exec("ROLLBACK");
        return begun.status();
    }
    transactionId_ = std::stoll(std::string(begun.bytes(0, 0)));
    inTransaction_ = true;
    db_.setInTransaction(true);
    return KeyedStatus::success();
}

KeyedStatus PostgresStore::endTransaction(const char *sql) {
    ahead_.forget();
    const bool rollingBack = std::string(sql) == "ROLLBACK";
    inTransaction_ = false;
    const bool lostBefore = db_.transactionLost();
    const pg::Outcome ended = lostBefore ? pg::Outcome(nullptr, KeyedStatus::success()) : db_.exec(sql);
    const bool lostNow = !lostBefore && db_.transactionLost();
    db_.setInTransaction(false);
    db_.clearTransactionLost();
    // A transaction that went with its session was rolled back by the server.
    if (rollingBack && (ended.ok() || lostBefore || lostNow)) return KeyedStatus::success();
    if (lostBefore) return lostTransaction();
    // The connection went with the commit on its way: the commit may have
    // been done with only its reply lost.  Asked, never guessed.
    if (lostNow) return commitOutcome(ended.status());
    if (!ended.ok()) return ended.status();
    if (ended.commandStatus() != sql) return pg::systemError("the server rolled the transaction back");
    return KeyedStatus::success();
}

// Whether the transaction whose commit lost its reply was committed, as the
// server tells on the new session.  Until the server has ended the old
// session the transaction is still in progress: asked again for up to 10
// seconds.  When the server cannot tell, the failure says so.
KeyedStatus PostgresStore::commitOutcome(const KeyedStatus &failed) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const pg::Outcome asked = db_.run("SELECT txid_status($1)", pg::Params().int8(transactionId_));
        if (!asked.ok() || asked.isNull(0, 0)) break;
        const std::string_view state = asked.bytes(0, 0);
        if (state == "committed") return KeyedStatus::success();
        if (state == "aborted") return lostTransaction();
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {KeyedSystemError, failed.driverCode,
            "the connection to the server was lost during the commit; whether it was written is not known (" +
                failed.driverText + ")"};
}

KeyedStatus PostgresStore::commit() { return endTransaction("COMMIT"); }

KeyedStatus PostgresStore::rollback() { return endTransaction("ROLLBACK"); }

}  // namespace kvr::keyed
