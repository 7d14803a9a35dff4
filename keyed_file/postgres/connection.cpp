#include "keyed_file/postgres/connection.h"

#include "keyed_file/postgres/status.h"

#include <algorithm>
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

// The session's start-up options: the operator's (from the connection
// string, or PGOPTIONS as libpq would take it), then the lock time-out.
std::string startupOptions(const std::string &conninfo, int lockTimeoutMs) {
    std::string options;
    char *error = nullptr;
    PQconninfoOption *parsed = PQconninfoParse(conninfo.c_str(), &error);
    if (error) PQfreemem(error);
    bool given = false;
    for (PQconninfoOption *o = parsed; o && o->keyword; ++o)
        if (std::string_view(o->keyword) == "options" && o->val) {
            options = o->val;
            given = true;
        }
    if (parsed) PQconninfoFree(parsed);
    if (!given && std::getenv("PGOPTIONS")) options = std::getenv("PGOPTIONS");
    if (!options.empty()) options += ' ';
    return options + "-c lock_timeout=" + std::to_string(lockTimeoutMs);
}

KeyedStatus Connection::openSession() {
    // Defaults first, so that the operator's connection string may change
    // them; the text encoding and the start-up options (the operator's with
    // the lock time-out) last, since the store relies on them.
    //
    // A server whose network goes silent (a cable pulled, a host powered
    // off) closes nothing: TCP would retry a request for a quarter of an
    // hour with the manager frozen.  Data the server has not acknowledged
    // within 10 s ends the connection instead (tcp_user_timeout), and an
    // idle connection is probed after a minute, so that a dead one is found
    // before the operator's next request waits on it.
    const std::string options = startupOptions(conninfo_, kLockTimeoutMs);
    const char *keys[] = {"connect_timeout",  "tcp_user_timeout", "keepalives",      "keepalives_idle",
                          "keepalives_interval", "keepalives_count", "application_name", "dbname",
                          "client_encoding",  "options",          nullptr};
    const char *values[] = {"10",   "10000", "1", "60", "10", "3", "kvrman1", conninfo_.c_str(), "UTF8",
                            options.c_str(), nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
        KeyedStatus failed = statusOfConnection(conn_);
        close();
        return failed;
    }
    PQsetNoticeProcessor(conn_, ignoreNotice, nullptr);
    prepared_.clear();
    names_ = 0;
    ++sessions_;
    return KeyedStatus::success();
}

void Connection::close() {
    awaiting_ = false;
    sent_.clear();
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

KeyedStatus Connection::sendAll(const std::vector<Statement> &statements) {
    if (awaiting_) static_cast<void>(collect());
    if (!conn_) return systemError("no connection to the server");
    if (PQpipelineStatus(conn_) == PQ_PIPELINE_OFF && PQenterPipelineMode(conn_) != 1)
        return statusOfConnection(conn_);
    sent_.clear();
    std::map<std::string, std::string> preparing;
    bool sent = true;
    for (const Statement &statement : statements) {
        const Params &params = statement.params;
        std::string name, prepare;
        if (const auto found = prepared_.find(statement.sql); found != prepared_.end()) {
            name = found->second;
        } else if (const auto again = preparing.find(statement.sql); again != preparing.end()) {
            name = again->second;
        } else {
            name = prepare = "kvr" + std::to_string(++names_);
            preparing.emplace(statement.sql, name);
            sent = sent && PQsendPrepare(conn_, name.c_str(), statement.sql.c_str(), params.count(), params.types()) == 1;
        }
        const std::vector<const char *> values = params.values();
        sent = sent && PQsendQueryPrepared(conn_, name.c_str(), params.count(), values.data(), params.lengths(),
                                           params.formats(), 1) == 1;
        if (!sent) break;
        sent_.emplace_back(prepare, prepare.empty() ? std::string() : statement.sql);
    }
    // One Sync for the batch: the server answers only at its end, in one
    // message.
    const bool synced = PQpipelineSync(conn_) == 1;
    sent = sent && synced;
    awaiting_ = true;
    return sent ? KeyedStatus::success() : statusOfConnection(conn_);
}

// The first result of the next statement, the others dropped; the
// connection's failure when there is none.
Outcome Connection::nextResult() {
    PGresult *first = conn_ ? PQgetResult(conn_) : nullptr;
    if (!first) return Outcome(nullptr, statusOfConnection(conn_));
    if (PQresultStatus(first) != PGRES_PIPELINE_SYNC)
        for (PGresult *more = PQgetResult(conn_); more; more = PQgetResult(conn_)) PQclear(more);
    return outcomeOf(first, conn_);
}

std::vector<Outcome> Connection::collect() {
    std::vector<Outcome> outcomes;
    if (!awaiting_) return outcomes;
    awaiting_ = false;
    for (const auto &[prepare, sql] : sent_) {
        Outcome prepared(nullptr, KeyedStatus::success());
        if (!prepare.empty()) {
            prepared = nextResult();
            if (prepared.ok()) prepared_.emplace(sql, prepare);
        }
        Outcome ran = nextResult();
        outcomes.push_back(prepared.ok() ? std::move(ran) : std::move(prepared));
    }
    // The Sync's answer.
    if (!sent_.empty() && conn_ && PQstatus(conn_) == CONNECTION_OK) ResultHandle synced(PQgetResult(conn_));
    sent_.clear();
    // Statements that were never sent (the connection failed on the way).
    if (conn_ && PQstatus(conn_) == CONNECTION_OK && PQexitPipelineMode(conn_) != 1) {
        // Answers left unread: the session's state is not known; a new one.
        close();
    }
    return outcomes;
}

Outcome Connection::attempt(const std::string &sql, const Params *params) {
    if (awaiting_) static_cast<void>(collect());
    if (!conn_) return Outcome(nullptr, systemError("no connection to the server"));
    if (!params) return outcomeOf(PQexec(conn_, sql.c_str()), conn_);
    std::vector<Outcome> outcomes = attemptAll({Statement{sql, *params}});
    return std::move(outcomes.front());
}

// Every statement answered, a failure in place of those that were not.
std::vector<Outcome> Connection::attemptAll(const std::vector<Statement> &statements) {
    KeyedStatus sent = sendAll(statements);
    std::vector<Outcome> outcomes = collect();
    if (!sent.ok() && !outcomes.empty() && outcomes.back().ok()) outcomes.back() = Outcome(nullptr, sent);
    while (outcomes.size() < statements.size())
        outcomes.emplace_back(nullptr, sent.ok() ? statusOfConnection(conn_) : sent);
    return outcomes;
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
    if (awaiting_) static_cast<void>(collect());
    if (!conn_) return systemError("no connection to the server");
    KeyedStatus sent = sendAll({Statement{sql, params}});
    if (sent.ok()) return sent;
    // Nothing was sent: the answers of what was are dropped.
    static_cast<void>(collect());
    if (reconnecting_ || !dropped()) return sent;
    if (KeyedStatus again = sessionAgain(); !again.ok()) return again;
    return sent;
}

bool Connection::answered() {
    if (!awaiting_ || !conn_) return true;
    if (PQconsumeInput(conn_) != 1) return true;
    return PQisBusy(conn_) == 0;
}

Outcome Connection::receive() {
    if (!awaiting_) return Outcome(nullptr, systemError("no statement was sent"));
    std::vector<Outcome> outcomes = collect();
    Outcome outcome = outcomes.empty() ? Outcome(nullptr, statusOfConnection(conn_)) : std::move(outcomes.front());
    if (outcome.ok() || reconnecting_ || !dropped()) return outcome;
    if (KeyedStatus again = sessionAgain(); !again.ok()) return Outcome(nullptr, again);
    return outcome;
}

std::vector<Outcome> Connection::runAll(const std::vector<Statement> &statements) {
    if (awaiting_) static_cast<void>(collect());
    std::vector<Outcome> outcomes;
    if (conn_) {
        outcomes = attemptAll(statements);
    } else {
        for (std::size_t i = 0; i < statements.size(); ++i)
            outcomes.emplace_back(nullptr, systemError("no connection to the server"));
    }
    if (!keepsFailure(outcomes)) return outcomes;
    const bool wasInTransaction = inTransaction_;
    if (KeyedStatus again = sessionAgain(); !again.ok()) {
        for (Outcome &outcome : outcomes)
            if (!outcome.ok()) outcome = Outcome(nullptr, again);
        return outcomes;
    }
    if (wasInTransaction) return outcomes;
    return attemptAll(statements);
}

// Whether a batch failed with its session, to be made again.
bool Connection::keepsFailure(const std::vector<Outcome> &outcomes) const {
    if (reconnecting_ || (conn_ && !dropped())) return false;
    return std::any_of(outcomes.begin(), outcomes.end(), [](const Outcome &o) { return !o.ok(); });
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
