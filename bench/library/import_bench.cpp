// The command import: a 10,000-record command file appended to an empty
// COMMANDS, alone and while another process adds records to COMMANDS one by
// one, into the local file and into a team library on a private PostgreSQL
// server (durable, fsync on, as the tests start theirs).  Goals: the import
// alone takes under 1 second into the file and under 5 seconds into the team
// library; no add of the other process waits as long as its 2-second lock
// wait (the import's batches keep it well under).
//
//   import_bench [RUNS [DELAY_MS]]     (default 5 runs, no delay)
//
// With DELAY_MS, the team library alone, through a loopback proxy that
// holds each message that long each way (a distant server), the COPY anchor
// through the same proxy; the round trips of each are printed.
#include "runtime/qt/screen_interaction.h"
#include "support/spread.h"
#if KVR_BENCH_TEAM_LIBRARY
#include "cutting_proxy.h"
#include "postgres_server.h"

#include <libpq-fe.h>
#endif

#include "library/command_import.h"
#include "library/commands_file.h"
#include "library/commands_library.h"
#include "keyed_file/keyed_file.h"
#include "keyed_file/store_choice.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using kvr::keyed::KeyedFile;
using kvr::library::CommandsLibrary;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRecords = 10000;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

bool buildSource(const std::string &path) {
    KeyedFile f(kvr::library::commandsLayout(), path, kvr::keyed::makeKeyedStore({}, kvr::library::commandsLayout()));
    if (f.create() != 0 || f.open(0x42) != 0 || f.beginTransaction() != 0) return false;
    for (int n = 0; n < kRecords; ++n) {
        kvr::library::Commands c = kvr::library::blankCommands();
        char card[16];
        std::snprintf(card, sizeof card, "card%04d", (n * 7919) % kRecords / 5);
        kvr::library::setField(c.card, card);
        kvr::library::setField(c.name, "command " + std::to_string(n));
        kvr::library::setField(c.data, "00A4040007A0000000041010");
        kvr::library::packCommands(c, f.buffer().data());
        if (f.add() != 0) return false;
    }
    return f.commit() == 0 && f.close() == 0;
}

// The anchor: the source's records (the same bytes) inserted with plain
// SQLite in one transaction into a fresh database of the same table and
// index; its seconds, or a negative value on any failure.
double sqliteAnchor(const std::vector<std::vector<unsigned char>> &records, const std::string &path) {
    std::filesystem::remove(path);
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return -1;
    const auto start = Clock::now();
    bool ok = sqlite3_exec(db,
                           "PRAGMA synchronous = FULL;"
                           "CREATE TABLE records(recno INTEGER PRIMARY KEY, key BLOB, version INTEGER NOT NULL,"
                           " data BLOB NOT NULL);"
                           "CREATE INDEX records_by_key ON records(key, recno);"
                           "BEGIN",
                           nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt *insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO records(key, version, data) VALUES (?1, 1, ?2)", -1, &insert,
                                  nullptr) == SQLITE_OK;
    for (const auto &data : records) {
        if (!ok) break;
        std::size_t end = 10;
        while (end > 0 && data[end - 1] == ' ') --end;
        std::string key(data.begin(), data.begin() + static_cast<long>(end));
        for (char &c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        sqlite3_bind_blob(insert, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 2, data.data(), static_cast<int>(data.size()), SQLITE_STATIC);
        ok = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    const double seconds = secondsSince(start);
    sqlite3_close(db);
    std::filesystem::remove(path);
    return ok ? seconds : -1;
}

#if KVR_BENCH_TEAM_LIBRARY
// The team library's anchor: the same records sent with COPY through libpq
// into a fresh table of the team library's shape (an identity record
// number, a version, a column per field with trailing blanks cut, the key
// value and its index); its seconds, or a negative value on any failure.
double copyAnchor(const std::vector<std::vector<unsigned char>> &records, const std::string &conninfo) {
    PGconn *db = PQconnectdb(conninfo.c_str());
    if (PQstatus(db) != CONNECTION_OK) {
        PQfinish(db);
        return -1;
    }
    const auto exec = [db](const char *sql, ExecStatusType wanted) {
        PGresult *r = PQexec(db, sql);
        const bool ok = PQresultStatus(r) == wanted;
        PQclear(r);
        return ok;
    };
    const auto start = Clock::now();
    const auto &fields = kvr::library::commandsLayout().fields;
    std::string table =
        "CREATE TABLE anchor (recno integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
        " version bigint NOT NULL DEFAULT 1";
    std::string names;
    for (const auto &f : fields) {
        table += ", " + f.name + (f.kind == kvr::keyed::KeyedField::Kind::Int32 ? " integer" : " text") + " NOT NULL";
        names += f.name + ", ";
    }
    table += ", key_value bytea); CREATE INDEX anchor_by_key ON anchor (key_value, recno) WHERE key_value IS NOT NULL";
    bool ok = exec(table.c_str(), PGRES_COMMAND_OK) &&
              exec(("COPY anchor (" + names + "key_value) FROM STDIN").c_str(), PGRES_COPY_IN);
    std::string lines;
    for (const auto &data : records) {
        for (const auto &f : fields) {
            if (f.kind == kvr::keyed::KeyedField::Kind::Int32) {
                std::int32_t value = 0;
                std::memcpy(&value, data.data() + f.offset, 4);
                lines += std::to_string(value);
            } else {
                std::size_t end = f.width;
                while (end > 0 && data[f.offset + end - 1] == ' ') --end;
                for (std::size_t i = 0; i < end; ++i) {
                    const char c = static_cast<char>(data[f.offset + i]);
                    if (c == '\\' || c == '\t' || c == '\n' || c == '\r') lines += '\\';
                    lines += c;
                }
            }
            lines += '\t';
        }
        std::size_t end = 10;
        while (end > 0 && data[end - 1] == ' ') --end;
        lines += "\\\\x";
        for (std::size_t i = 0; i < end; ++i) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", std::toupper(data[i]));
            lines += hex;
        }
        lines += '\n';
        if (lines.size() > 65536) {
            ok = ok && PQputCopyData(db, lines.data(), static_cast<int>(lines.size())) == 1;
            lines.clear();
        }
    }
    ok = ok && PQputCopyData(db, lines.data(), static_cast<int>(lines.size())) == 1 && PQputCopyEnd(db, nullptr) == 1;
    PGresult *r = PQgetResult(db);
    ok = ok && PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    while ((r = PQgetResult(db)) != nullptr) PQclear(r);
    const double seconds = secondsSince(start);
    PQfinish(db);
    return ok ? seconds : -1;
}
#endif

// The source's records in key order, as the import reads them.
std::vector<std::vector<unsigned char>> sourceRecords(const std::string &path) {
    std::vector<std::vector<unsigned char>> records;
    KeyedFile f(kvr::library::commandsLayout(), path, kvr::keyed::makeKeyedStore({}, kvr::library::commandsLayout()));
    if (f.open(0x40) != 0 || f.setStart() != 0) return records;
    while (f.next() == 0) records.push_back(f.buffer());
    f.close();
    return records;
}

// Where COMMANDS is: fresh() gives the database setting of an empty one
// ("" for the file in the current directory).
struct Target {
    const char *name;
    double importGoal;  // seconds
    std::function<std::string()> fresh;
};

// One import into a fresh COMMANDS; its seconds, or a negative value when it
// did not append every record.
// roundTrips: those of the import itself, when counted.
double importOnce(const std::string &source, const std::string &database, const std::function<int()> &counted,
                  int &roundTrips) {
    kvr::runtime::qt::ScreenInteraction screen;
    CommandsLibrary library(screen, database);
    library.openCommands();
    library.setImportFileName(source);
    const int before = counted();
    const auto start = Clock::now();
    const auto result = kvr::library::importCommandFile(library);
    const double seconds = secondsSince(start);
    roundTrips = counted() - before;
    library.closeCommands();
    if (result.openError || result.report.appended != kRecords) return -1;
    return seconds;
}

struct Writer {
    long adds = 0, failures = 0;
    double longest = 0;  // seconds one add took
};

// In a child process: adds records to COMMANDS until told to stop, timing
// each add.
Writer writeMeanwhile(const std::string &source, const std::string &database, double &importSeconds) {
    {
        kvr::runtime::qt::ScreenInteraction screen;
        CommandsLibrary made(screen, database);  // creates the empty COMMANDS
        made.openCommands();
        made.closeCommands();
    }
    int ready[2], stop[2], report[2];
    if (pipe(ready) != 0 || pipe(stop) != 0 || pipe(report) != 0) std::exit(1);
    const pid_t child = fork();
    if (child == 0) {
        KeyedFile f(kvr::library::commandsLayout(), "COMMANDS",
                    kvr::keyed::makeKeyedStore(database, kvr::library::commandsLayout()));
        if (f.open(0x42) != 0) _exit(1);
        Writer w;
        char go = 'r';
        if (write(ready[1], &go, 1) != 1) _exit(1);
        for (;;) {
            char c;
            fd_set set;
            FD_ZERO(&set);
            FD_SET(stop[0], &set);
            timeval now{0, 0};
            if (select(stop[0] + 1, &set, nullptr, nullptr, &now) > 0 && read(stop[0], &c, 1) == 1) break;
            kvr::library::Commands rec = kvr::library::blankCommands();
            kvr::library::setField(rec.card, "writer");
            kvr::library::setField(rec.name, std::to_string(w.adds));
            kvr::library::packCommands(rec, f.buffer().data());
            const auto start = Clock::now();
            if (f.add() != 0) ++w.failures;
            w.longest = std::max(w.longest, secondsSince(start));
            ++w.adds;
        }
        if (write(report[1], &w, sizeof w) != static_cast<ssize_t>(sizeof w)) _exit(1);
        _exit(0);
    }
    char c;
    if (read(ready[0], &c, 1) != 1) std::exit(1);
    kvr::runtime::qt::ScreenInteraction screen;
    CommandsLibrary library(screen, database);
    library.openCommands();
    library.setImportFileName(source);
    const auto start = Clock::now();
    const auto result = kvr::library::importCommandFile(library);
    importSeconds = secondsSince(start);
    library.closeCommands();
    if (result.openError || result.report.appended != kRecords) importSeconds = -1;
    if (write(stop[1], "s", 1) != 1) std::exit(1);
    Writer w;
    if (read(report[0], &w, sizeof w) != static_cast<ssize_t>(sizeof w)) std::exit(1);
    waitpid(child, nullptr, 0);
    for (int fd : {ready[0], ready[1], stop[0], stop[1], report[0], report[1]}) close(fd);
    return w;
}

}  // namespace

int main(int argc, char **argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const int delayMs = argc > 2 ? std::atoi(argv[2]) : 0;
    if (runs < 1 || delayMs < 0) {
        std::fprintf(stderr, "usage: %s [RUNS [DELAY_MS]]\n", argv[0]);
        return 2;
    }
    std::string folder = (std::filesystem::temp_directory_path() / "kvr-import-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) return 1;
    std::filesystem::current_path(folder);
    const std::string source = folder + "/GRANDE.tps";
    if (!buildSource(source)) {
        std::fprintf(stderr, "cannot build the source file\n");
        return 1;
    }

    const auto fileTarget = [] {
        std::filesystem::remove("COMMANDS.tps");
        return std::string();
    };
    const auto records = sourceRecords(source);
    std::vector<Target> targets;
    if (delayMs == 0) targets.push_back({"the local file", 1.0, fileTarget});
    std::function<int()> counted = [] { return 0; };
#if KVR_BENCH_TEAM_LIBRARY
    std::unique_ptr<kvr::testing::PostgresServer> server;
    std::unique_ptr<kvr::testing::CuttingProxy> link;
    try {
        server = std::make_unique<kvr::testing::PostgresServer>(true);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "no PostgreSQL server, the team library is left out: %s\n", e.what());
    }
    // A fresh database, through the distant link when there is one.
    const auto fresh = [&] {
        const std::string database = server->freshDatabase();
        return link ? link->conninfo(kvr::testing::databaseNameOf(database)) : database;
    };
    if (server && delayMs > 0) {
        link = std::make_unique<kvr::testing::CuttingProxy>(kvr::testing::serverSocketOf(server->freshDatabase()),
                                                            std::chrono::milliseconds(delayMs));
        counted = [&link] { return link->roundTrips(); };
        std::printf("through a link that holds each message %d ms each way\n", delayMs);
    }
    if (server) targets.push_back({"a team library", 5.0, fresh});
    const auto teamAnchor = [&](double &seconds, int &roundTrips) {
        if (!server) return;
        const std::string database = fresh();
        const int before = counted();
        seconds = copyAnchor(records, database);
        roundTrips = counted() - before;
    };
#else
    const auto teamAnchor = [](double &, int &) {};
    std::printf("(built without the tests: the team library is left out)\n");
#endif

    std::printf("import of %d records into an empty COMMANDS, in %d runs\n", kRecords, runs);
    std::printf("(median run, lowest-highest run in brackets)\n");
    for (const Target &target : targets) {
        std::vector<double> alone, together, held, anchor, ratio, trips, anchorTrips;
        long adds = 0, failures = 0;
        const bool local = std::string(target.name) == "the local file";
        for (int run = 0; run < runs; ++run) {
            if (local) {
                anchor.push_back(sqliteAnchor(records, folder + "/anchor.db"));
            } else {
                anchor.push_back(-1);
                int roundTrips = 0;
                teamAnchor(anchor.back(), roundTrips);
                anchorTrips.push_back(roundTrips);
            }
            int roundTrips = 0;
            const double seconds = importOnce(source, target.fresh(), counted, roundTrips);
            trips.push_back(roundTrips);
            ratio.push_back(seconds / anchor.back());
            double sharedSeconds = 0;
            const Writer w = writeMeanwhile(source, target.fresh(), sharedSeconds);
            if (seconds < 0 || sharedSeconds < 0) {
                std::fprintf(stderr, "an import into %s did not append every record\n", target.name);
                return 1;
            }
            alone.push_back(seconds);
            together.push_back(sharedSeconds);
            held.push_back(w.longest);
            adds += w.adds;
            failures += w.failures;
        }
        using kvr::bench::spreadOf;
        using kvr::bench::spreadText;
        const kvr::bench::Spread importAlone = spreadOf(alone), longest = spreadOf(held);
        std::printf("into %s:\n", target.name);
        std::printf("  alone:                           %s\n", spreadText(importAlone, 3, " s").c_str());
        std::printf("  while another process adds:      %s\n", spreadText(spreadOf(together), 3, " s").c_str());
        std::printf("  that process's longest add wait: %s (%ld adds, %ld failed)\n",
                    spreadText(longest, 3, " s").c_str(), adds, failures);
        if (std::all_of(anchor.begin(), anchor.end(), [](double a) { return a > 0; })) {
            const kvr::bench::Spread ratioSpread = spreadOf(ratio);
            std::printf("  anchor, %s %s\n", local ? "plain SQLite:           " : "COPY through libpq:     ",
                        spreadText(spreadOf(anchor), 3, " s").c_str());
            std::printf("  ratio to the anchor:             %s\n", spreadText(ratioSpread, 2, "").c_str());
            if (link)
                std::printf("  round trips, import / anchor:    %s / %s\n", spreadText(spreadOf(trips), 0, "").c_str(),
                            spreadText(spreadOf(anchorTrips), 0, "").c_str());
            std::printf("  goal: ratio at most 3; %s\n", kvr::bench::verdictBelow(ratioSpread, 3.0));
        }
        std::printf("  goal: the import alone under %.0f s; %s\n", target.importGoal,
                    kvr::bench::verdictBelow(importAlone, target.importGoal));
        std::printf("  goal: no add of the other process waits 0.3 s; %s\n",
                    failures ? "NOT MET: adds failed" : kvr::bench::verdictBelow(longest, 0.3));
    }
    std::filesystem::current_path("/");
    std::filesystem::remove_all(folder);
    return 0;
}
