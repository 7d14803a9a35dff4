// The team library on PostgreSQL over a local socket:
//   1. open + a 20-row page from the middle of the key order, at 100,000
//      records against 100 (the cost must not grow with the records);
//   2. on a file kept open, a 20-row page from the middle by 20 steps of the
//      key cursor against the anchor a user would write instead: one query
//      through libpq on a connection of its own (the same columns, ORDER BY
//      key, LIMIT 20), interleaved round by round; goal: at most 2 times;
//   3. four processes adding 1,000 records each at once: the total time,
//      every record there, no time-out (32).
// The same four adders run once on an SQLite file for comparison.  Figures
// are medians of several runs with their spread; a verdict holds only when
// all runs agree.
//
//   postgres_bench [ROUNDS_PER_RUN [RUNS]]   (default 100 rounds, 3 runs)
// starts a private durable server (fsync on) as the tests do; with
// KVR_BENCH_DB set to a connection string it uses that database instead
// (which must not hold a library yet).
#include "postgres_server.h"
#include "keyed_file/keyed_file.h"
#include "keyed_file/postgres/schema.h"
#include "keyed_file/store_choice.h"
#include "support/spread.h"
#include "test_layout.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using kvr::keyed::KeyedFile;
using Clock = std::chrono::steady_clock;

namespace {

const kvr::keyed::KeyedLayout kLayout = kvr::testing::commandsLikeLayout();

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::unique_ptr<KeyedFile> keyed(const std::string &database, const std::string &name) {
    return std::make_unique<KeyedFile>(kLayout, name, kvr::keyed::makeKeyedStore(database, kLayout));
}

std::string cardName(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "card%05d", i / 5);  // five commands per card
    return text;
}

void fill(KeyedFile &f, const std::string &card, const std::string &name) {
    auto &b = f.buffer();
    b.assign(184, ' ');
    std::memcpy(b.data(), card.data(), card.size());
    std::memcpy(b.data() + 10, name.data(), name.size());
}

// Adds records in scattered order, so that key order and record order
// differ; one transaction per 10,000.
// Says why on standard error when it fails.
bool build(const std::string &database, const std::string &name, int records) {
    auto f = keyed(database, name);
    const auto built = [&] {
        if (f->create() != 0 || f->open(0x42) != 0) return false;
        for (int n = 0; n < records; ++n) {
            if (n % 10000 == 0 && ((n > 0 && f->commit() != 0) || f->beginTransaction() != 0)) return false;
            const int i = static_cast<int>((static_cast<long long>(n) * 7919) % records);
            fill(*f, cardName(i), "command " + std::to_string(i));
            if (f->add() != 0) return false;
        }
        return f->commit() == 0 && f->close() == 0;
    }();
    if (!built) std::fprintf(stderr, "cannot build %s: %s\n", name.c_str(), f->lastError().driverText.c_str());
    return built;
}

// Median milliseconds of: open, set to the middle card, read 20 rows,
// close; and of the page alone on a file kept open.
std::pair<double, double> pageCost(const std::string &database, const std::string &name, int records, int rounds) {
    std::vector<double> whole, page;
    const std::string middle = cardName(records / 2);
    auto open = keyed(database, name);
    if (open->open(0x40) != 0) std::exit(1);
    for (int r = 0; r < rounds; ++r) {
        auto start = Clock::now();
        {
            open->close();  // one open of a file per process
            auto f = keyed(database, name);
            if (f->open(0x42) != 0 || f->setFromKey(middle) != 0) std::exit(1);
            for (int row = 0; row < 20; ++row)
                if (f->next() != 0) std::exit(1);
            f->close();
        }
        whole.push_back(msSince(start));
        if (open->open(0x40) != 0) std::exit(1);
        start = Clock::now();
        if (open->setFromKey(middle) != 0) std::exit(1);
        for (int row = 0; row < 20; ++row)
            if (open->next() != 0) std::exit(1);
        page.push_back(msSince(start));
    }
    std::sort(whole.begin(), whole.end());
    std::sort(page.begin(), page.end());
    return {whole[whole.size() / 2], page[page.size() / 2]};
}

// Per run: the median milliseconds of 20 cursor steps on a file kept open
// and of one libpq query of the same 20 rows, interleaved.
std::pair<double, double> stepsAgainstQuery(KeyedFile &f, PGconn *db, const std::string &table, int records,
                                            int rounds) {
    const std::string middle = cardName(records / 2);
    std::string key(10, ' ');
    for (std::size_t i = 0; i < middle.size(); ++i)
        key[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(middle[i])));
    const std::string sql =
        "SELECT recno, version, key_value, card, name, frscode, frscla, frsins, frsp1, frsp2,"
        " frsp3, data, hotkey FROM " +
        table + " WHERE key_value IS NOT NULL AND key_value >= $1 ORDER BY key_value, recno LIMIT 20";
    const char *values[] = {key.data()};
    const int lengths[] = {static_cast<int>(key.size())};
    const int formats[] = {1};
    const Oid types[] = {17};  // bytea
    std::vector<double> steps, query;
    for (int r = 0; r < rounds; ++r) {
        auto start = Clock::now();
        if (f.setFromKey(middle) != 0) std::exit(1);
        for (int row = 0; row < 20; ++row)
            if (f.next() != 0) std::exit(1);
        steps.push_back(msSince(start));
        start = Clock::now();
        PGresult *rows = PQexecParams(db, sql.c_str(), 1, types, values, lengths, formats, 1);
        const bool ok = PQresultStatus(rows) == PGRES_TUPLES_OK && PQntuples(rows) == 20;
        PQclear(rows);
        query.push_back(msSince(start));
        if (!ok) {
            std::fprintf(stderr, "the anchor's query failed: %s\n", PQerrorMessage(db));
            std::exit(1);
        }
    }
    std::sort(steps.begin(), steps.end());
    std::sort(query.begin(), query.end());
    return {steps[steps.size() / 2], query[query.size() / 2]};
}

struct AddersResult {
    double ms = 0;
    int failures = 0;
    int locked = 0;
    std::int64_t records = 0;
    bool allInKey = false;
};

// Four processes add `each` records at once, every add its own write.
AddersResult fourAdders(const std::string &database, const std::string &name, int each) {
    {
        auto f = keyed(database, name);
        if (f->create() != 0) std::exit(1);
    }
    int go[2], report[2];
    if (pipe(go) != 0 || pipe(report) != 0) std::exit(1);
    std::vector<pid_t> children;
    for (int p = 0; p < 4; ++p) {
        const pid_t child = fork();
        if (child < 0) std::exit(1);
        if (child == 0) {
            ::close(go[1]);
            auto f = keyed(database, name);
            int counts[2] = {0, 0};  // failures, of which 32
            if (f->open(0x42) != 0) counts[0] = each;
            char byte;
            (void)!::read(go[0], &byte, 1);
            for (int i = 0; i < each && counts[0] < each; ++i) {
                fill(*f, "adder" + std::to_string(p), std::to_string(i));
                if (const int code = f->add(); code != 0) {
                    ++counts[0];
                    if (code == kvr::keyed::KeyedLocked) ++counts[1];
                }
            }
            f->close();
            (void)!::write(report[1], counts, sizeof counts);
            _exit(0);
        }
        children.push_back(child);
    }
    ::close(go[0]);
    ::close(report[1]);
    usleep(300000);  // all connected and waiting
    const auto start = Clock::now();
    ::close(go[1]);
    AddersResult result;
    for (pid_t child : children) {
        int counts[2] = {0, 0};
        if (::read(report[0], counts, sizeof counts) == sizeof counts) {
            result.failures += counts[0];
            result.locked += counts[1];
        }
        int status = 0;
        waitpid(child, &status, 0);
    }
    result.ms = msSince(start);
    ::close(report[0]);
    auto f = keyed(database, name);
    if (f->open(0x40) != 0) std::exit(1);
    result.records = f->records();
    int inKey = 0;
    if (f->setStart() == 0)
        while (f->next() == 0) ++inKey;
    result.allInKey = inKey == result.records;
    return result;
}

void printAdders(const char *what, const AddersResult &r) {
    std::printf("  %-28s %7.0f ms  %5.0f adds/s  records %lld of 4000, failures %d, time-outs (32) %d%s\n", what, r.ms,
                4000 / (r.ms / 1000), static_cast<long long>(r.records), r.failures, r.locked,
                r.allInKey ? "" : ", KEY INCOMPLETE");
}

}  // namespace

int main(int argc, char **argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 100;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    if (rounds < 1 || runs < 1) {
        std::fprintf(stderr, "usage: %s [ROUNDS_PER_RUN [RUNS]]\n", argv[0]);
        return 2;
    }
    std::unique_ptr<kvr::testing::PostgresServer> server;
    std::string database;
    if (const char *given = std::getenv("KVR_BENCH_DB"); given && *given) {
        database = given;
    } else {
        server = std::make_unique<kvr::testing::PostgresServer>(true);
        database = server->freshDatabase();
    }
    std::printf("PostgreSQL over a local socket (%s)\n", server ? "private server, fsync on" : "KVR_BENCH_DB");

    auto start = Clock::now();
    if (!build(database, "SMALL", 100) || !build(database, "LARGE", 100000)) {
        return 1;
    }
    std::printf("  filled 100,100 records in %.1f s (transactions of 10,000)\n", msSince(start) / 1000);
    pageCost(database, "SMALL", 100, 10);  // warm the caches
    pageCost(database, "LARGE", 100000, 10);
    std::vector<double> small, large, smallPage, largePage, ratios;
    for (int run = 0; run < runs; ++run) {
        const auto s = pageCost(database, "SMALL", 100, rounds);
        const auto l = pageCost(database, "LARGE", 100000, rounds);
        small.push_back(s.first);
        large.push_back(l.first);
        smallPage.push_back(s.second);
        largePage.push_back(l.second);
        ratios.push_back(l.first / s.first);
    }
    using kvr::bench::spreadOf;
    using kvr::bench::spreadText;
    const kvr::bench::Spread ratio = spreadOf(ratios);
    std::printf("open + 20-row page from the middle: median of %d rounds, in %d runs\n", rounds, runs);
    std::printf("(median run, lowest-highest run in brackets; the page alone on a file kept open after it)\n");
    std::printf("  100 records:      %s   %s\n", spreadText(spreadOf(small), 2, " ms").c_str(),
                spreadText(spreadOf(smallPage), 2, " ms").c_str());
    std::printf("  100,000 records:  %s   %s\n", spreadText(spreadOf(large), 2, " ms").c_str(),
                spreadText(spreadOf(largePage), 2, " ms").c_str());
    std::printf("  ratio:            %s\n", spreadText(ratio, 2, "").c_str());
    std::printf("goal: ratio under 3; %s\n", kvr::bench::verdictBelow(ratio, 3.0));

    {
        auto f = keyed(database, "LARGE");
        PGconn *db = PQconnectdb(database.c_str());
        if (f->open(0x40) != 0 || PQstatus(db) != CONNECTION_OK) return 1;
        const std::string table = kvr::keyed::pg::tableNameOf("LARGE");
        stepsAgainstQuery(*f, db, table, 100000, 10);  // warm the caches
        std::vector<double> steps, query, stepRatios;
        for (int run = 0; run < runs; ++run) {
            const auto [s, q] = stepsAgainstQuery(*f, db, table, 100000, rounds);
            steps.push_back(s);
            query.push_back(q);
            stepRatios.push_back(s / q);
        }
        PQfinish(db);
        const kvr::bench::Spread stepRatio = spreadOf(stepRatios);
        std::printf(
            "open file of 100,000 records, 20-row page from the middle: median of %d interleaved rounds, in "
            "%d runs\n",
            rounds, runs);
        std::printf("  20 steps of the key cursor: %s\n", spreadText(spreadOf(steps), 3, " ms").c_str());
        std::printf("  one libpq query:            %s\n", spreadText(spreadOf(query), 3, " ms").c_str());
        std::printf("  ratio:                      %s\n", spreadText(stepRatio, 2, "").c_str());
        std::printf("goal: ratio at most 2; %s\n", kvr::bench::verdictBelow(stepRatio, 2.0));
    }

    std::printf("4 processes adding 1,000 records each at once, every add its own write\n");
    std::vector<double> times;
    int good = 0;
    for (int run = 0; run < runs; ++run) {
        const AddersResult team = fourAdders(database, "ADDERS" + std::to_string(run), 1000);
        printAdders("PostgreSQL:", team);
        times.push_back(team.ms);
        if (team.records == 4000 && team.failures == 0 && team.locked == 0 && team.allInKey) ++good;
    }
    std::printf("  PostgreSQL total time:       %s\n", spreadText(spreadOf(times), 0, " ms").c_str());
    const auto folder = std::filesystem::temp_directory_path() / ("kvr-pg-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    printAdders("SQLite file (comparison):", fourAdders("", (folder / "ADDERS").string(), 1000));
    std::filesystem::remove_all(folder);
    std::printf("goal: all 4,000 kept, no time-out (32); %s\n", good == runs ? "met in every run"
                                                                : good == 0  ? "NOT MET in any run"
                                                                             : "NOT MET in some runs");
    return 0;
}
