// The team library over a distant link: a loopback proxy in front of a
// private PostgreSQL server (durable, as the tests start theirs) holds each
// message DELAY_MS each way and counts the round trips.  On a library of
// 5,000 commands, in interleaved runs:
//   the start: COMMANDS opened as the manager opens it and the stored-command
//     menus' rows read; anchor: a libpq connection made and one query (the
//     menus' 999 rows); goal: at most 2 times;
//   the browser's list: its opening (the first page and the key stops);
//     anchor: one page query on an open connection; goal: at most 2 round
//     trips;
//   and the round trips of the other operations.
// The import's figures over the same link: library/import_bench RUNS DELAY_MS.
//
//   team_link_bench [RUNS [DELAY_MS]]   (default 5 runs, 15 ms)
#include "cutting_proxy.h"
#include "postgres_server.h"
#include "runtime/qt/screen_interaction.h"
#include "support/spread.h"
#include "console/stored_command_reads.h"
#include "library/command_browser.h"
#include "library/commands_file.h"
#include "library/commands_library.h"
#include "keyed_file/keyed_file.h"
#include "keyed_file/keyed_view.h"
#include "keyed_file/store_choice.h"

#include <QApplication>
#include <libpq-fe.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

using kvr::keyed::KeyedFile;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kCommands = 5000;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void fillCommand(KeyedFile &f, int n) {
    kvr::library::Commands c = kvr::library::blankCommands();
    char card[16];
    std::snprintf(card, sizeof card, "card%04d", (n * 7919) % kCommands / 5);
    kvr::library::setField(c.card, card);
    kvr::library::setField(c.name, "command " + std::to_string(n));
    kvr::library::setField(c.data, "00A4040007A0000000041010");
    kvr::library::packCommands(c, f.buffer().data());
}

bool build(const std::string &database) {
    KeyedFile f(kvr::library::commandsLayout(), "COMMANDS",
                kvr::keyed::makeKeyedStore(database, kvr::library::commandsLayout()));
    if (f.create() != 0 || f.open(0x42) != 0 || f.beginTransaction() != 0) return false;
    for (int n = 0; n < kCommands; ++n) {
        fillCommand(f, n);
        if (f.add() != 0) return false;
    }
    return f.commit() == 0 && f.close() == 0;
}

// One query on conn, its rows; -1 when it failed.
int query(PGconn *conn, const char *sql) {
    PGresult *r = PQexec(conn, sql);
    const int rows = PQresultStatus(r) == PGRES_TUPLES_OK ? PQntuples(r) : -1;
    PQclear(r);
    return rows;
}

const char *kMenuRows =
    "SELECT card, name FROM commands WHERE key_value IS NOT NULL ORDER BY key_value, recno LIMIT 999";
const char *kPage = "SELECT * FROM commands WHERE key_value IS NOT NULL ORDER BY key_value, recno LIMIT 20";

struct Figures {
    std::vector<double> ms, trips;
};

}  // namespace

int main(int argc, char **argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const int delayMs = argc > 2 ? std::atoi(argv[2]) : 15;
    if (runs < 1 || delayMs < 0) {
        std::fprintf(stderr, "usage: %s [RUNS [DELAY_MS]]\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);  // the browser shows a wait cursor
    std::string folder = (std::filesystem::temp_directory_path() / "kvr-link-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) return 1;
    std::filesystem::current_path(folder);
    kvr::testing::PostgresServer server(true);
    const std::string direct = server.freshDatabase();
    if (!build(direct)) {
        std::fprintf(stderr, "cannot build the library\n");
        return 1;
    }
    kvr::testing::CuttingProxy link(kvr::testing::serverSocketOf(direct), std::chrono::milliseconds(delayMs));
    const std::string database = link.conninfo(kvr::testing::databaseNameOf(direct));

    std::map<std::string, Figures> figures;
    std::vector<std::string> order;
    const auto measure = [&](const std::string &what, const std::function<bool()> &body) {
        if (!figures.count(what)) order.push_back(what);
        const int before = link.roundTrips();
        const auto start = Clock::now();
        const bool ok = body();
        const double ms = msSince(start);
        if (!ok) {
            std::fprintf(stderr, "%s failed\n", what.c_str());
            std::exit(1);
        }
        figures[what].ms.push_back(ms);
        figures[what].trips.push_back(link.roundTrips() - before);
    };
    std::vector<double> startRatios, listRatios;
    for (int run = 0; run < runs; ++run) {
        measure("anchor: libpq connect + one query", [&] {
            PGconn *conn = PQconnectdb(database.c_str());
            const bool ok = PQstatus(conn) == CONNECTION_OK && query(conn, kMenuRows) > 0;
            PQfinish(conn);
            return ok;
        });
        kvr::runtime::qt::ScreenInteraction screen;
        kvr::library::CommandsLibrary library(screen, database);
        measure("start: COMMANDS opened, the menus' rows read", [&] {
            library.openCommands();
            kvr::session::StoredCommandRows rows;
            return library.commandsFile().isOpen() &&
                   kvr::console::readStoredCommandRows(library.commandsFile(), rows) == 0;
        });
        startRatios.push_back(figures["start: COMMANDS opened, the menus' rows read"].ms.back() /
                              figures["anchor: libpq connect + one query"].ms.back());
        PGconn *conn = PQconnectdb(database.c_str());
        measure("anchor: one page query", [&] { return query(conn, kPage) == 20; });
        PQfinish(conn);
        KeyedFile &file = library.commandsFile();
        measure("the browser's list: its first page and key stops", [&] {
            kvr::library::CommandBrowser browser(library, {[] { return 20; }, {}});
            browser.open();
            const bool ok = browser.rows().size() == 20;
            browser.close();
            return ok;
        });
        listRatios.push_back(figures["the browser's list: its first page and key stops"].ms.back() /
                             figures["anchor: one page query"].ms.back());
        measure("a record read by its number", [&] { return file.readByNumber(100 + run) == 0; });
        measure("a put in a transaction (its record locked)", [&] {
            return file.readByNumber(200 + run) == 0 && file.beginTransaction(2000) == 0 && file.put() == 0 &&
                   file.commit() == 0;
        });
        measure("an add alone", [&] {
            fillCommand(file, kCommands + run);
            return file.add() == 0;
        });
        measure("a delete alone", [&] { return file.remove() == 0; });
        measure("the records counted", [&] { return file.records() > 0; });
        measure("300 steps of the key cursor", [&] {
            bool ok = file.setStart() == 0;
            for (int i = 0; ok && i < 300; ++i) ok = file.next() == 0;
            return ok;
        });
        library.closeCommands();
    }
    using kvr::bench::spreadOf;
    using kvr::bench::spreadText;
    std::printf("the team library (%d commands) through a link holding each message %d ms each way, %d runs\n",
                kCommands, delayMs, runs);
    std::printf("(median run, lowest-highest run in brackets)\n");
    for (const std::string &what : order)
        std::printf("  %-52s %s   round trips %s\n", what.c_str(),
                    spreadText(spreadOf(figures[what].ms), 1, " ms").c_str(),
                    spreadText(spreadOf(figures[what].trips), 0, "").c_str());
    const kvr::bench::Spread start = spreadOf(startRatios), list = spreadOf(listRatios);
    std::printf("  start / its anchor:          %s; goal at most 2: %s\n", spreadText(start, 2, "").c_str(),
                kvr::bench::verdictBelow(start, 2.0));
    std::printf(
        "  browser's list / its anchor: %s; goal at most 2 round trips: %s\n", spreadText(list, 2, "").c_str(),
        kvr::bench::verdictBelow(spreadOf(figures["the browser's list: its first page and key stops"].trips), 2.5));
    std::filesystem::current_path("/");
    std::filesystem::remove_all(folder);
    return 0;
}
