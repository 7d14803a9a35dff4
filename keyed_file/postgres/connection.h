// One libpq connection of a PostgreSQL store, with its statements kept
// prepared and its answers read in binary form.
//
// Every new session is set up alike: UTF-8 text, libpq's notices kept off
// the terminal, and a lock time-out of 2 seconds, so that a write outside a
// transaction waits for another station's record lock as long as a
// transaction would and then gives KeyedLocked.
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

namespace kvr::keyed::pg {

struct ResultDeleter {
    void operator()(PGresult *result) const { PQclear(result); }
};
using ResultHandle = std::unique_ptr<PGresult, ResultDeleter>;

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
    // Runs sql text without parameters, unprepared (BEGIN, SET ...).
    Outcome exec(const std::string &sql);
    // run() in two halves, so that the caller can go on while the server
    // works: send() sends the statement, receive() waits for its answer.
    // Any other statement first waits for that answer and drops it.  A
    // dropped connection is met as run() meets it inside a transaction:
    // nothing is sent again.
    KeyedStatus send(const std::string &sql, const Params &params);
    Outcome receive();
    bool awaiting() const { return awaiting_; }

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
    // A new session after a drop; a transaction under way is marked lost.
    KeyedStatus sessionAgain();
    // The prepared statement of sql, prepared now when it is not yet.
    Outcome prepare(const std::string &sql, const Params &params, const std::string *&name);
    bool dropped() const { return conn_ && PQstatus(conn_) == CONNECTION_BAD; }

    std::string conninfo_;
    PGconn *conn_ = nullptr;
    std::map<std::string, std::string> prepared_;  // sql -> statement name
    bool inTransaction_ = false;
    bool transactionLost_ = false;
    bool reconnecting_ = false;
    bool awaiting_ = false;  // a statement sent, its answer not yet read
    int sessions_ = 0;
    std::function<KeyedStatus()> onReconnect_;
};

}  // namespace kvr::keyed::pg

#endif
