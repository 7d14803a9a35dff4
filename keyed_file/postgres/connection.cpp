#include "keyed_file/postgres/connection.h"

#include "keyed_file/postgres/status.h"

#include <cstdlib>

namespace kvr::keyed::pg {

namespace {

void ignoreNotice(void *, const char *) {}

bool succeeded(const PGresult *result) {
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

Outcome outcomeOf(PGresult *result, PGconn *conn) {
    ResultHandle handle(result);
    KeyedStatus status = succeeded(result) ? KeyedStatus::success() : statusOfResult(result, conn);
    return Outcome(std::move(handle), std::move(status));
}

}  // namespace

std::string Outcome::sqlState() const {
    const char *state = result_ ? PQresultErrorField(result_.get(), PG_DIAG_SQLSTATE) : nullptr;
    return state ? state : "";
}

long Outcome::affected() const { return result_ ? std::atol(PQcmdTuples(result_.get())) : 0; }

std::string_view Outcome::bytes(int row, int column) const {
    return {PQgetvalue(result_.get(), row, column), static_cast<std::size_t>(PQgetlength(result_.get(), row, column))};
}

std::int32_t Outcome::int4(int row, int column) const {
    const std::string_view b = bytes(row, column);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && i < b.size(); ++i) value = (value << 8) | static_cast<unsigned char>(b[i]);
    return static_cast<std::int32_t>(value);
}

std::int64_t Outcome::int8(int row, int column) const {
    const std::string_view b = bytes(row, column);
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8 && i < b.size(); ++i) value = (value << 8) | static_cast<unsigned char>(b[i]);
    return static_cast<std::int64_t>(value);
}

Connection::Connection(std::string conninfo) : conninfo_(std::move(conninfo)) {}

KeyedStatus Connection::connect() {
    if (conn_) return KeyedStatus::success();
    return openSession();
}

KeyedStatus Connection::openSession() {
    // Defaults first, so that the operator's connection string may change
    // them; the text encoding last, since the store relies on it.
    //
    // A server whose network goes silent (a cable pulled, a host powered
    // off) closes nothing: TCP would retry a request for a quarter of an
    // hour with the manager frozen.  Data the server has not acknowledged
    // within 10 s ends the connection instead (tcp_user_timeout), and an
    // idle connection is probed after a minute, so that a dead one is found
    // before the operator's next request waits on it.
    const char *keys[] = {
        "connect_timeout",  "tcp_user_timeout", "keepalives", "keepalives_idle", "keepalives_interval",
        "keepalives_count", "application_name", "dbname",     "client_encoding", nullptr};
    const char *values[] = {"10", "10000", "1", "60", "10", "3", "kvrman1", conninfo_.c_str(), "UTF8", nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
        KeyedStatus failed = statusOfConnection(conn_);
        close();
        return failed;
    }
    PQsetNoticeProcessor(conn_, ignoreNotice, nullptr);
    prepared_.clear();
    ++sessions_;
    const Outcome set = attempt("SET lock_timeout = " + std::to_string(kLockTimeoutMs), nullptr);
    if (!set.ok()) {
        KeyedStatus failed = set.status();
        close();
        return failed;
    }
    return KeyedStatus::success();
}

void Connection::close() {
    awaiting_ = false;
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
    prepared_.clear();
    inTransaction_ = false;
}

std::string Connection::identity() const {
    if (!conn_) return {};
    const char *host = PQhost(conn_);
    const char *port = PQport(conn_);
    const char *db = PQdb(conn_);
    return std::string(host ? host : "") + ":" + (port ? port : "") + "/" + (db ? db : "");
}

Outcome Connection::prepare(const std::string &sql, const Params &params, const std::string *&name) {
    auto found = prepared_.find(sql);
    if (found == prepared_.end()) {
        const std::string made = "kvr" + std::to_string(prepared_.size() + 1);
        Outcome done = outcomeOf(PQprepare(conn_, made.c_str(), sql.c_str(), params.count(), params.types()), conn_);
        if (!done.ok()) return done;
        found = prepared_.emplace(sql, made).first;
    }
    name = &found->second;
    return Outcome(nullptr, KeyedStatus::success());
}

Outcome Connection::attempt(const std::string &sql, const Params *params) {
    if (awaiting_) static_cast<void>(receive());
    if (!conn_) return Outcome(nullptr, systemError("no connection to the server"));
    if (!params) return outcomeOf(PQexec(conn_, sql.c_str()), conn_);
    const std::string *name = nullptr;
    if (Outcome made = prepare(sql, *params, name); !made.ok()) return made;
    const std::vector<const char *> values = params->values();
    return outcomeOf(
        PQexecPrepared(conn_, name->c_str(), params->count(), values.data(), params->lengths(), params->formats(), 1),
        conn_);
}

KeyedStatus Connection::sessionAgain() {
    if (inTransaction_) transactionLost_ = true;
    inTransaction_ = false;
    close();
    reconnecting_ = true;
    KeyedStatus again = openSession();
    if (again.ok() && onReconnect_) again = onReconnect_();
    reconnecting_ = false;
    if (!again.ok()) close();
    return again;
}

Outcome Connection::afterDrop(Outcome failed, const std::string &sql, const Params *params) {
    const bool wasInTransaction = inTransaction_;
    if (KeyedStatus again = sessionAgain(); !again.ok()) return Outcome(nullptr, again);
    if (wasInTransaction) return failed;
    return attempt(sql, params);
}

KeyedStatus Connection::send(const std::string &sql, const Params &params) {
    if (awaiting_) static_cast<void>(receive());
    if (!conn_) return systemError("no connection to the server");
    const std::string *name = nullptr;
    Outcome made = prepare(sql, params, name);
    if (made.ok()) {
        const std::vector<const char *> values = params.values();
        if (PQsendQueryPrepared(conn_, name->c_str(), params.count(), values.data(), params.lengths(), params.formats(),
                                1) == 1) {
            awaiting_ = true;
            return KeyedStatus::success();
        }
        made = Outcome(nullptr, statusOfConnection(conn_));
    }
    if (reconnecting_ || !dropped()) return made.status();
    if (KeyedStatus again = sessionAgain(); !again.ok()) return again;
    return made.status();
}

Outcome Connection::receive() {
    if (!awaiting_) return Outcome(nullptr, systemError("no statement was sent"));
    awaiting_ = false;
    PGresult *first = PQgetResult(conn_);
    for (PGresult *more = first ? PQgetResult(conn_) : nullptr; more; more = PQgetResult(conn_)) PQclear(more);
    Outcome outcome = outcomeOf(first, conn_);
    if (outcome.ok() || reconnecting_ || !dropped()) return outcome;
    if (KeyedStatus again = sessionAgain(); !again.ok()) return Outcome(nullptr, again);
    return outcome;
}

Outcome Connection::run(const std::string &sql, const Params &params) {
    Outcome outcome = attempt(sql, &params);
    if (outcome.ok() || reconnecting_ || (conn_ && !dropped())) return outcome;
    return afterDrop(std::move(outcome), sql, &params);
}

Outcome Connection::exec(const std::string &sql) {
    Outcome outcome = attempt(sql, nullptr);
    if (outcome.ok() || reconnecting_ || (conn_ && !dropped())) return outcome;
    return afterDrop(std::move(outcome), sql, nullptr);
}

}  // namespace kvr::keyed::pg
