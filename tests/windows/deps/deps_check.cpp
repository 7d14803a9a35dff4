// Checks the Windows builds of SQLite and libpq from the inside, one step
// per run, so that run_deps_test.py can put two processes on one file and
// compare what each prints.  Every line printed is "key: value"; the exit
// status is 0 when the step went as its name says.
//
//   deps_check sqlite-write FILE TEXT  adds TEXT to FILE and reads it back
//   deps_check sqlite-hold FILE        takes the write lock, says "holding",
//                                      commits once a line arrives on stdin
//   deps_check sqlite-busy FILE        the write lock is refused: SQLITE_BUSY
//   deps_check sqlite-count FILE       prints the number of rows
//   deps_check pq CONNINFO             connects and runs a query
//   deps_check pq-refused CONNINFO     the connection fails; its message
#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

struct CloseDb {
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};
using Db = std::unique_ptr<sqlite3, CloseDb>;

struct FinishConn {
    void operator()(PGconn *conn) const { PQfinish(conn); }
};
using Conn = std::unique_ptr<PGconn, FinishConn>;

struct ClearResult {
    void operator()(PGresult *result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ClearResult>;

void say(const char *key, const std::string &value) {
    std::printf("%s: %s\n", key, value.c_str());
    std::fflush(stdout);
}

Db open(const char *file) {
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(file, &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Db owned(db);
    if (rc != SQLITE_OK) {
        say("error", std::string("open: ") + sqlite3_errstr(rc));
        return nullptr;
    }
    sqlite3_busy_timeout(db, 0);
    return owned;
}

int exec(sqlite3 *db, const char *sql) {
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) say("sqlite", std::string(sql) + ": " + sqlite3_errstr(rc));
    return rc;
}

int addNote(sqlite3 *db, const std::string &text) {
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO notes(text) VALUES (?1)", -1, &raw, nullptr) != SQLITE_OK) return 1;
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> statement(raw, sqlite3_finalize);
    sqlite3_bind_text(raw, 1, text.c_str(), -1, SQLITE_TRANSIENT);
    return sqlite3_step(raw) == SQLITE_DONE ? 0 : 1;
}

int countNotes(sqlite3 *db, long long &count) {
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM notes", -1, &raw, nullptr) != SQLITE_OK) return 1;
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> statement(raw, sqlite3_finalize);
    if (sqlite3_step(raw) != SQLITE_ROW) return 1;
    count = sqlite3_column_int64(raw, 0);
    return 0;
}

int sqliteWrite(const char *file, const std::string &text) {
    Db db = open(file);
    if (!db || exec(db.get(), "CREATE TABLE IF NOT EXISTS notes(id INTEGER PRIMARY KEY, text TEXT)") != SQLITE_OK)
        return 1;
    if (addNote(db.get(), text) != 0) return 1;
    const long long id = sqlite3_last_insert_rowid(db.get());
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db.get(), "SELECT text FROM notes WHERE id = ?1", -1, &raw, nullptr) != SQLITE_OK) return 1;
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> statement(raw, sqlite3_finalize);
    sqlite3_bind_int64(raw, 1, id);
    if (sqlite3_step(raw) != SQLITE_ROW) return 1;
    const std::string back = reinterpret_cast<const char *>(sqlite3_column_text(raw, 0));
    say("sqlite_version", sqlite3_libversion());
    say("read", back);
    return back == text ? 0 : 1;
}

int sqliteHold(const char *file) {
    Db db = open(file);
    if (!db || exec(db.get(), "BEGIN IMMEDIATE") != SQLITE_OK || addNote(db.get(), "held") != 0) return 1;
    say("state", "holding");
    char line[16];
    if (!std::fgets(line, sizeof line, stdin)) return 1;
    if (exec(db.get(), "COMMIT") != SQLITE_OK) return 1;
    say("state", "committed");
    return 0;
}

int sqliteBusy(const char *file) {
    Db db = open(file);
    if (!db) return 1;
    const int rc = sqlite3_exec(db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    say("begin", rc == SQLITE_BUSY ? "SQLITE_BUSY" : sqlite3_errstr(rc));
    return rc == SQLITE_BUSY ? 0 : 1;
}

int sqliteCount(const char *file) {
    Db db = open(file);
    long long count = 0;
    if (!db || countNotes(db.get(), count) != 0) return 1;
    say("count", std::to_string(count));
    return 0;
}

int pqQuery(const char *conninfo) {
    const Conn conn(PQconnectdb(conninfo));
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        say("error", PQerrorMessage(conn.get()));
        return 1;
    }
    say("server_version", std::to_string(PQserverVersion(conn.get())));
    say("password_used", std::to_string(PQconnectionUsedPassword(conn.get())));
    say("ssl", PQsslInUse(conn.get()) ? "yes" : "no");
    const char *values[] = {"KVR7x"};
    const Result result(PQexecParams(conn.get(), "SELECT current_user, lower($1::text), 6 * 7", 1, nullptr, values,
                                     nullptr, nullptr, 0));
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) != 1) {
        say("error", PQresultErrorMessage(result.get()));
        return 1;
    }
    say("row", std::string(PQgetvalue(result.get(), 0, 0)) + " " + PQgetvalue(result.get(), 0, 1) + " " +
                   PQgetvalue(result.get(), 0, 2));
    // How the server keeps the password it asked for (a superuser may look).
    const Result stored(
        PQexec(conn.get(), "SELECT split_part(rolpassword, '$', 1) FROM pg_authid WHERE rolname = current_user"));
    if (PQresultStatus(stored.get()) != PGRES_TUPLES_OK || PQntuples(stored.get()) != 1) {
        say("error", PQresultErrorMessage(stored.get()));
        return 1;
    }
    say("stored_password", PQgetvalue(stored.get(), 0, 0));
    return 0;
}

int pqRefused(const char *conninfo) {
    const Conn conn(PQconnectdb(conninfo));
    if (PQstatus(conn.get()) == CONNECTION_OK) {
        say("error", "connected");
        return 1;
    }
    std::string message = PQerrorMessage(conn.get());
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    say("refused", message);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    const std::string step = argc > 1 ? argv[1] : "";
    if (step == "sqlite-write" && argc == 4) return sqliteWrite(argv[2], argv[3]);
    if (step == "sqlite-hold" && argc == 3) return sqliteHold(argv[2]);
    if (step == "sqlite-busy" && argc == 3) return sqliteBusy(argv[2]);
    if (step == "sqlite-count" && argc == 3) return sqliteCount(argv[2]);
    if (step == "pq" && argc == 3) return pqQuery(argv[2]);
    if (step == "pq-refused" && argc == 3) return pqRefused(argv[2]);
    std::fprintf(stderr, "usage: deps_check sqlite-write|sqlite-hold|sqlite-busy|sqlite-count|pq|pq-refused ...\n");
    return 2;
}
