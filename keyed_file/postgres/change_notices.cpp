#include "keyed_file/postgres/change_notices.h"

#include "keyed_file/postgres/socket_ready.h"

#include <utility>

namespace kvr::keyed::pg {

namespace {

struct ResultClearer {
    PGresult *result;
    ~ResultClearer() { PQclear(result); }
    bool ok() const { return PQresultStatus(result) == PGRES_COMMAND_OK; }
};

}  // namespace

std::string noticeTriggerSql(const std::string &table) {
    const std::string trigger = "kvr_" + table + "_changed";
    // A row trigger: the server sends one notice per transaction and
    // payload, so that a transaction of many rows costs one.
    return "DO $kvr$ BEGIN"
           " IF to_regclass('" +
           table + "') IS NULL OR EXISTS (SELECT 1 FROM pg_trigger WHERE tgrelid = to_regclass('" + table +
           "') AND tgname = '" + trigger +
           "') THEN RETURN; END IF;"
           " IF to_regprocedure('kvr_notify_change()') IS NULL THEN"
           "  CREATE FUNCTION kvr_notify_change() RETURNS trigger LANGUAGE plpgsql AS $f$"
           "  BEGIN PERFORM pg_notify('" +
           std::string(ChangeListener::kChannel) +
           "', TG_TABLE_NAME); RETURN NULL; END $f$;"
           " END IF;"
           " CREATE TRIGGER " +
           trigger + " AFTER INSERT OR UPDATE OR DELETE ON " + table +
           " FOR EACH ROW EXECUTE FUNCTION kvr_notify_change();"
           " EXCEPTION WHEN insufficient_privilege OR duplicate_object OR duplicate_function THEN NULL;"
           " END $kvr$";
}

ChangeListener::ChangeListener(std::string conninfo, std::string table, std::function<int()> ownSession)
    : conninfo_(std::move(conninfo)), table_(std::move(table)), ownSession_(std::move(ownSession)) {}

ChangeListener::~ChangeListener() { drop(); }

void ChangeListener::drop() {
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
    stage_ = Stage::Down;
}

PGconn *ChangeListener::start(bool wait) const {
    // As the store's session (connection.cpp), an idle one probed so that
    // a dead one is found, but a shorter wait to connect.  What the
    // connection string gives, after these, wins.
    const char *keywords[] = {"connect_timeout",     "keepalives",       "keepalives_idle", "keepalives_interval",
                              "keepalives_count",    "application_name", "dbname",          nullptr};
    const char *values[] = {"2", "1", "60", "10", "3", "kvrman1", conninfo_.c_str(), nullptr};
    return wait ? PQconnectdbParams(keywords, values, 1) : PQconnectStartParams(keywords, values, 1);
}

bool ChangeListener::listenOn() {
    PQsetNoticeProcessor(conn_, [](void *, const char *) {}, nullptr);
    // The trigger first: a failure there is no reason not to listen.
    PQclear(PQexec(conn_, noticeTriggerSql(table_).c_str()));
    const ResultClearer listening{PQexec(conn_, (std::string("LISTEN ") + kChannel).c_str())};
    if (!listening.ok() || PQsetnonblocking(conn_, 1) != 0) {
        drop();
        return false;
    }
    stage_ = Stage::Listening;
    return true;
}

bool ChangeListener::listen() {
    if (stage_ == Stage::Listening && PQstatus(conn_) == CONNECTION_OK) return true;
    drop();
    conn_ = start(true);
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
        drop();
        return false;
    }
    return listenOn();
}

void ChangeListener::listenAgain() {
    if (stage_ == Stage::Listening) return;
    drop();
    conn_ = start(false);
    if (!conn_ || PQstatus(conn_) == CONNECTION_BAD) {
        drop();
        return;
    }
    stage_ = Stage::Connecting;
    polling_ = PGRES_POLLING_WRITING;
}

void ChangeListener::advance() {
    while (stage_ == Stage::Connecting) {
        if (polling_ == PGRES_POLLING_FAILED) {
            drop();
            return;
        }
        if (polling_ == PGRES_POLLING_OK) {
            (void)listenOn();
            return;
        }
        if (!socketReady(PQsocket(conn_), polling_ != PGRES_POLLING_READING)) return;  // not yet
        polling_ = PQconnectPoll(conn_);
    }
}

ChangeNews ChangeListener::take() {
    if (stage_ == Stage::Connecting) {
        advance();
        return stage_ == Stage::Listening ? ChangeNews::Back : ChangeNews::Lost;
    }
    if (stage_ != Stage::Listening) return ChangeNews::Lost;
    if (PQconsumeInput(conn_) == 0 || PQstatus(conn_) != CONNECTION_OK) {
        drop();
        return ChangeNews::Lost;
    }
    bool changed = false;
    const int own = ownSession_ ? ownSession_() : 0;
    while (PGnotify *notice = PQnotifies(conn_)) {
        ++read_;
        if (notice->extra && table_ == notice->extra && (own == 0 || notice->be_pid != own)) changed = true;
        PQfreemem(notice);
    }
    return changed ? ChangeNews::Changed : ChangeNews::None;
}

int ChangeListener::descriptor() const { return conn_ ? PQsocket(conn_) : -1; }

}  // namespace kvr::keyed::pg
