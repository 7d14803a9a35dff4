// One libpq connection of a PostgreSQL store, with its statements kept
// prepared and its answers read in binary form.
//
// Every new session is set up alike: UTF-8 text, libpq's notices kept off
// the terminal, and a lock time-out of 2 seconds, so that a write outside a
// transaction waits for another station's record lock as long as a
// transaction would and then gives KeyedLocked.  Both go in the start-up
// message: a session costs no statement of its own.
//
// Round trips are what a distant server costs, so a statement costs one:
// one seen for the first time on the session is prepared and executed in
// one message (libpq's pipeline mode), and the statements of a batch
// (runAll) all go in one message and are answered together.
//
// A dropped connection (a restarted server, a cut network) is connected
// again once.  Outside a transaction the statement that found it gone runs
// once more on the new session and nobody notices; inside one the
// transaction went with the session, so the statement fails with the
// server's text and the next statement finds the new session.  When the
// server cannot be reached again, the failure says why in its own words.
#ifndef KVR_KEYED_POSTGRES_CONNECTION_H
#define KVR_KEYED_POSTGRES_CONNECTION_H

#include "keyed_file/keyed_store.h"
#include "keyed_file/postgres/params.h"

#include <libpq-fe.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvr::keyed::pg {

struct ResultDeleter {
    void operator()(PGresult *result) const { PQclear(result); }
};
using ResultHandle = std::unique_ptr<PGresult, ResultDeleter>;

// One statement of a batch.
struct Statement {
    std::string sql;
    Params params;
};

// The answer to one statement.
class Outcome {
public:
    Outcome(ResultHandle result, KeyedStatus status) : result_(std::move(result)), status_(std::move(status)) {}

    bool ok() const { return status_.ok(); }
    const KeyedStatus &status() const { return status_; }
    int rows() const { return result_ ? PQntuples(result_.get()) : 0; }
    // Rows a command changed ("UPDATE 1" gives 1).
    long affected() const;
    std::string commandStatus() const { return result_ ? PQcmdStatus(result_.get()) : ""; }
    // The server's SQLSTATE for a failure ("" when it gave none).
    std::string sqlState() const;

    bool isNull(int row, int column) const { return PQgetisnull(result_.get(), row, column) != 0; }
    std::string_view bytes(int row, int column) const;
    std::int32_t int4(int row, int column) const;
    std::int64_t int8(int row, int column) const;
    bool boolean(int row, int column) const { return !bytes(row, column).empty() && bytes(row, column)[0] != 0; }

private:
    ResultHandle result_;
    KeyedStatus status_;
};

class Connection {
public:
    static constexpr int kLockTimeoutMs = 2000;

    explicit Connection(std::string conninfo);
    ~Connection() { close(); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Connects unless connected; the server's text when it cannot.
    KeyedStatus connect();
    void close();
    bool connected() const { return conn_ != nullptr; }
    const std::string &conninfo() const { return conninfo_; }
    // Where the connection goes: host or socket folder, port, database.
    std::string identity() const;

    // Runs sql (kept prepared) with params; results in binary form.
    Outcome run(const std::string &sql, const Params &params = {});
    // Runs the statements in one round trip, answers in their order: one
    // implicit transaction outside a transaction, so that a failure stops
    // the statements after it (which then fail too).  A drop is met as run() meets it, the whole batch run
    // once more outside a transaction.
    std::vector<Outcome> runAll(const std::vector<Statement> &statements);
    // Runs sql text without parameters, unprepared (BEGIN, SET ...); of
    // several statements, the answer of the last.
    Outcome exec(const std::string &sql);
    // run() in two halves, so that the caller can go on while the server
    // works: send() sends the statement, receive() waits for its answer.
    // Any other statement first waits for that answer and drops it.  A
    // dropped connection is met as run() meets it inside a transaction:
    // nothing is sent again.
    KeyedStatus send(const std::string &sql, const Params &params);
    Outcome receive();
    bool awaiting() const { return awaiting_; }
    // Whether the answer to the statement sent has arrived, so that
    // receive() would not wait: reads what the server sent so far without
    // waiting for more.  True when nothing is awaited or the connection
    // failed (receive() then says why).
    bool answered();

    // Whether the session is inside a transaction of the store: then a
    // dropped connection is never retried.
    void setInTransaction(bool inTransaction) { inTransaction_ = inTransaction; }
    bool inTransaction() const { return inTransaction_; }
    // Whether a transaction was lost with its session since the flag was
    // last cleared.
    bool transactionLost() const { return transactionLost_; }
    void clearTransactionLost() { transactionLost_ = false; }

    // Run on every session made again after a drop, before anything else
    // (the store takes its sharing locks again).
    void setOnReconnect(std::function<KeyedStatus()> onReconnect) { onReconnect_ = std::move(onReconnect); }

    // The number of sessions made so far (a new one after every drop).
    int sessions() const { return sessions_; }
    // The server process of the session (0: none), which notices name.
    int backendPid() const { return conn_ ? PQbackendPID(conn_) : 0; }

private:
    KeyedStatus openSession();
    Outcome attempt(const std::string &sql, const Params *params);
    Outcome afterDrop(Outcome failed, const std::string &sql, const Params *params);
    std::vector<Outcome> attemptAll(const std::vector<Statement> &statements);
    bool keepsFailure(const std::vector<Outcome> &outcomes) const;
    // Sends the statements in pipeline mode, one Sync after them, preparing
    // those the session has not seen; collect() reads their answers.
    KeyedStatus sendAll(const std::vector<Statement> &statements);
    std::vector<Outcome> collect();
    Outcome nextResult();
    // A new session after a drop; a transaction under way is marked lost.
    KeyedStatus sessionAgain();
    bool dropped() const { return conn_ && PQstatus(conn_) == CONNECTION_BAD; }

    std::string conninfo_;
    PGconn *conn_ = nullptr;
    std::map<std::string, std::string> prepared_;  // sql -> statement name
    int names_ = 0;                                // statement names given on the session
    // The statements sent and not yet answered: the name of each one's
    // prepare sent with it (with its sql), or "" when it was prepared.
    std::vector<std::pair<std::string, std::string>> sent_;
    bool inTransaction_ = false;
    bool transactionLost_ = false;
    bool reconnecting_ = false;
    bool awaiting_ = false;  // a statement sent, its answer not yet read
    int sessions_ = 0;
    std::function<KeyedStatus()> onReconnect_;
};

}  // namespace kvr::keyed::pg

#endif
