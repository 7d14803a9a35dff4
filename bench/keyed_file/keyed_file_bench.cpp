// Cost of the keyed-file engine at a large command file against a small one.
//
//   keyed_file_bench [RECORDS [ROUNDS [RUNS [SMALL]]]]
//   (defaults 100000, 300, 5 and 100; "1000000 100 5 100000" gives the
//   growth from 100,000 records to 1,000,000, goal at most 1.5)
//
// 1. Open a file, read a 20-row page from the middle of its key order, close
//    it: a file of SMALL records against one of RECORDS.  Goal: the large file
//    costs less than 3 times the small one.  The page is read as the
//    browser reads it (a view: one read of the file), and for comparison
//    with 20 steps of the key cursor; then the first page of the key order
//    through a view, as the browser opens.  The checks of every open are in
//    these costs: compare a build of before a change with one after it.
// 2. The command browser's page builds over a COMMANDS file of RECORDS
//    records, 20 rows to a page: the first page with the key stops, a page
//    around the thumb's middle stop, a page down, and the re-read when the
//    window regains the focus.  Goal: each below 5 ms.
//
// 3. On a file already open, a 20-row page from the middle of the key order
//    by 20 steps of the key cursor, against the anchor a user would write
//    instead: one SELECT ... ORDER BY key, recno LIMIT 20 through a plain
//    SQLite connection to the same file, interleaved round by round.  Goal:
//    the ratio at most 3 (at 100,000 and at 1,000,000 records).
// 4. The file's size per record, against the same records in a plain SQLite
//    table of one column per field, text without its trailing spaces, with
//    an index on the card.
//
// The records are made as the program makes them: card, name and data
// text, the rest of the text blank, hot key 0.
//
// Medians of ROUNDS rounds, in microseconds; the page ratio is taken in RUNS
// runs and its verdict holds only when all runs agree.  Build it without sanitizers
// (a Release build) to measure.
#include "runtime/qt/screen_interaction.h"
#include "library/command_browser.h"
#include "library/commands_file.h"
#include "library/commands_library.h"
#include "library/commands_use.h"
#include "keyed_file/keyed_file.h"
#include "keyed_file/keyed_view.h"
#include "keyed_file/store_choice.h"
#include "support/spread.h"

#include <QApplication>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

using kvr::keyed::KeyedFile;
using kvr::keyed::KeyedLayout;

namespace {

constexpr std::size_t kPageRows = 20;

// Five commands to a card; card names in letters, so that the browser's key
// stops spread over them.
std::string cardName(int i) {
    const int c = i / 5;
    std::string card = "C";
    for (int div = 26 * 26 * 26; div > 0; div /= 26) card += static_cast<char>('A' + c / div % 26);
    return card;
}

kvr::library::Commands command(int i) {
    kvr::library::Commands c = kvr::library::blankCommands();
    kvr::library::setField(c.card, cardName(i));
    kvr::library::setField(c.name, "command " + std::to_string(i));
    kvr::library::setField(c.data, "00A4040007A0000000041010");
    return c;
}

bool build(const std::string &name, int records) {
    KeyedFile f(kvr::library::commandsLayout(), name, kvr::keyed::makeKeyedStore({}, kvr::library::commandsLayout()));
    if (f.create() != 0 || f.open(0x42) != 0 || f.beginTransaction() != 0) return false;
    // Added in scattered order, so that key order and record order differ.
    for (int n = 0; n < records; ++n) {
        const int i = static_cast<int>((static_cast<long long>(n) * 7919) % records);
        kvr::library::packCommands(command(i), f.buffer().data());
        if (f.add() != 0) return false;
    }
    return f.commit() == 0 && f.close() == 0;
}

// The bytes per record of the same records in a plain table, or a negative
// value on any failure.
double plainTableBytes(const std::string &path, int records) {
    std::filesystem::remove(path);
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return -1;
    bool ok = sqlite3_exec(db,
                           "CREATE TABLE commands(card TEXT, name TEXT, frscode TEXT, frscla TEXT, frsins TEXT,"
                           " frsp1 TEXT, frsp2 TEXT, frsp3 TEXT, data TEXT, hotkey INTEGER);"
                           "CREATE INDEX commands_by_card ON commands(card); BEGIN",
                           nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt *insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO commands VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)", -1,
                                  &insert, nullptr) == SQLITE_OK;
    const auto trimmed = [](const auto &field) {
        std::string text(field, sizeof field);
        return text.substr(0, text.find_last_not_of(' ') + 1);
    };
    for (int i = 0; ok && i < records; ++i) {
        const kvr::library::Commands c = command(i);
        const std::string texts[] = {trimmed(c.card),   trimmed(c.name),   trimmed(c.frsCode),
                                     trimmed(c.frsCla), trimmed(c.frsIns), trimmed(c.frsP1),
                                     trimmed(c.frsP2),  trimmed(c.frsP3),  trimmed(c.data)};
        sqlite3_reset(insert);
        for (int column = 0; column < 9; ++column)
            sqlite3_bind_text(insert, column + 1, texts[column].data(), static_cast<int>(texts[column].size()),
                              SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 10, c.hotKey);
        ok = sqlite3_step(insert) == SQLITE_DONE;
    }
    sqlite3_finalize(insert);
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok ? static_cast<double>(std::filesystem::file_size(path)) / records : -1;
}

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

double microseconds(const std::function<void()> &work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

[[noreturn]] void fail(const char *what, const kvr::keyed::KeyedError &error = {}) {
    std::fprintf(stderr, "%s failed: %s\n", what, error.text().c_str());
    std::exit(1);
}

enum class Page { MiddleView, MiddleSteps, FirstView };

// Open, a 20-row page from the middle card (or the first page), close.
double pageCost(const std::string &name, int records, int rounds, Page page) {
    const bool throughView = page != Page::MiddleSteps;
    std::vector<double> samples;
    const std::string middle = page == Page::FirstView ? std::string() : cardName(records / 2);
    for (int r = 0; r < rounds; ++r) {
        samples.push_back(microseconds([&] {
            KeyedFile f(kvr::library::commandsLayout(), name,
                        kvr::keyed::makeKeyedStore({}, kvr::library::commandsLayout()));
            if (f.open(0x42) != 0) fail("open", f.lastError());
            if (throughView) {
                kvr::keyed::KeyedView view(f);
                std::vector<kvr::keyed::ViewRecord> rows;
                if (view.open() != 0 || (middle.empty() ? view.setStart() : view.setFromKey(middle)) != 0 ||
                    view.read(kvr::keyed::ViewDirection::Forward, kPageRows, rows) != 0)
                    fail("page", f.lastError());
            } else {
                if (f.setFromKey(middle) != 0) fail("setFromKey", f.lastError());
                for (std::size_t row = 0; row < kPageRows; ++row)
                    if (f.next() != 0) fail("next", f.lastError());
            }
            f.close();
        }));
    }
    return median(samples);
}

// 20 steps of the key cursor of an open file against one plain query, each
// round both, from the middle card; the per-run medians and their ratio.
struct StepsAgainstQuery {
    double steps = 0, query = 0;
};

StepsAgainstQuery stepsAgainstQuery(KeyedFile &f, sqlite3 *db, const std::string &middle, int rounds) {
    sqlite3_stmt *page = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT recno, key, version, data FROM records WHERE key >= ?1 ORDER BY key, recno"
                           " LIMIT 20",
                           -1, &page, nullptr) != SQLITE_OK)
        fail("the anchor's query");
    std::vector<double> steps, query;
    for (int r = 0; r < rounds; ++r) {
        steps.push_back(microseconds([&] {
            if (f.setFromKey(middle) != 0) fail("setFromKey", f.lastError());
            for (std::size_t row = 0; row < kPageRows; ++row)
                if (f.next() != 0) fail("next", f.lastError());
        }));
        query.push_back(microseconds([&] {
            sqlite3_reset(page);
            sqlite3_bind_blob(page, 1, middle.data(), static_cast<int>(middle.size()), SQLITE_STATIC);
            std::size_t rows = 0;
            std::vector<unsigned char> data;
            while (sqlite3_step(page) == SQLITE_ROW) {
                const auto *bytes = static_cast<const unsigned char *>(sqlite3_column_blob(page, 3));
                data.assign(bytes, bytes + sqlite3_column_bytes(page, 3));
                ++rows;
            }
            if (rows != kPageRows) fail("the anchor's page");
        }));
    }
    sqlite3_finalize(page);
    return {median(steps), median(query)};
}

void cursorAgainstQuery(const std::string &name, int records, int rounds, int runs) {
    KeyedFile f(kvr::library::commandsLayout(), name, kvr::keyed::makeKeyedStore({}, kvr::library::commandsLayout()));
    if (f.open(0x42) != 0) fail("open", f.lastError());
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2((name + ".tps").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        fail("the anchor's open");
    const std::string middle = cardName(records / 2);
    stepsAgainstQuery(f, db, middle, 20);  // warm the caches
    std::vector<double> steps, query, ratios;
    for (int run = 0; run < runs; ++run) {
        const StepsAgainstQuery costs = stepsAgainstQuery(f, db, middle, rounds);
        steps.push_back(costs.steps);
        query.push_back(costs.query);
        ratios.push_back(costs.steps / costs.query);
    }
    sqlite3_close(db);
    f.close();
    using kvr::bench::spreadOf;
    using kvr::bench::spreadText;
    const kvr::bench::Spread ratio = spreadOf(ratios);
    std::printf("open file of %d records, 20-row page from the middle: median of %d interleaved rounds, in %d runs\n",
                records, rounds, runs);
    std::printf("  20 steps of the key cursor: %s\n", spreadText(spreadOf(steps), 1, " us").c_str());
    std::printf("  one plain SQLite query:     %s\n", spreadText(spreadOf(query), 1, " us").c_str());
    std::printf("  ratio:                      %s\n", spreadText(ratio, 2, "").c_str());
    std::printf("goal: ratio at most 3; %s\n", kvr::bench::verdictBelow(ratio, 3.0));
}

void browserCosts(int records, int rounds) {
    using namespace kvr::library;
    kvr::runtime::qt::ScreenInteraction screen;
    CommandsLibrary library(screen);
    CommandsUse mainWindow(library);
    mainWindow.acquire();
    std::vector<double> first, thumb, pageDown, regained;
    for (int r = 0; r < rounds; ++r) {
        CommandBrowser browser(library, {[] { return static_cast<int>(kPageRows); }, {}});
        first.push_back(microseconds([&] { browser.open(); }));
        thumb.push_back(microseconds([&] { browser.dragThumb(50); }));
        pageDown.push_back(microseconds([&] { browser.scroll(BrowseScroll::PageDown); }));
        regained.push_back(microseconds([&] { browser.regained(); }));
        if (browser.mustClose() || browser.rows().size() != kPageRows) fail("browser page");
        browser.close();
    }
    std::printf("command browser over %d records, %zu rows to a page, median of %d rounds (goal < 5000 us)\n", records,
                kPageRows, rounds);
    const std::pair<const char *, double> costs[] = {{"first page and key stops", median(first)},
                                                     {"page at the thumb's middle", median(thumb)},
                                                     {"page down", median(pageDown)},
                                                     {"focus regained", median(regained)}};
    for (const auto &[what, cost] : costs)
        std::printf("  %-28s %9.1f us %s\n", what, cost, cost < 5000 ? "met" : "NOT MET");
}

}  // namespace

int main(int argc, char **argv) {
    const int records = argc > 1 ? std::max(200, std::atoi(argv[1])) : 100000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 300;
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    const int smallRecords = argc > 4 ? std::max(100, std::atoi(argv[4])) : 100;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);  // the browser shows a wait cursor

    const auto folder = std::filesystem::temp_directory_path() / ("kvr-keyed-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);
    const std::string small = (folder / "SMALL").string(), large = (folder / "COMMANDS").string();
    if (!build(small, smallRecords) || !build(large, records)) fail("building the files");

    using kvr::bench::spreadOf;
    using kvr::bench::spreadText;
    for (const Page view : {Page::MiddleView, Page::MiddleSteps, Page::FirstView}) {
        pageCost(small, smallRecords, 20, view);  // warm the caches
        pageCost(large, records, 20, view);
        std::vector<double> costsSmall, costsLarge, ratios;
        for (int run = 0; run < runs; ++run) {
            costsSmall.push_back(pageCost(small, smallRecords, rounds, view));
            costsLarge.push_back(pageCost(large, records, rounds, view));
            ratios.push_back(costsLarge.back() / costsSmall.back());
        }
        const kvr::bench::Spread ratio = spreadOf(ratios);
        const char *what[] = {"20-row page from the middle (one read, as the browser)",
                              "20-row page from the middle (20 steps of the key cursor)",
                              "first 20-row page (one read, as the browser opens)"};
        std::printf("open + %s: median of %d rounds, in %d runs\n", what[static_cast<int>(view)], rounds, runs);
        std::printf("(median run, lowest-highest run in brackets)\n");
        std::printf("  %d records: %s\n", smallRecords, spreadText(spreadOf(costsSmall), 1, " us").c_str());
        std::printf("  %d records: %s\n", records, spreadText(spreadOf(costsLarge), 1, " us").c_str());
        std::printf("  ratio:          %s\n", spreadText(ratio, 2, "").c_str());
        // Against a small file the large one may cost 3 times; against a
        // tenth of its records, 1.5 times (the growth of a tenfold file).
        const double goal = smallRecords * 10 >= records ? 1.5 : 3.0;
        std::printf("goal: ratio under %.1f; %s\n", goal, kvr::bench::verdictBelow(ratio, goal));
    }
    cursorAgainstQuery(large, records, rounds, runs);
    browserCosts(records, std::max(1, rounds / 10));
    const double plain = plainTableBytes((folder / "plain.db").string(), records);
    if (plain < 0) fail("the plain table");
    std::printf("size of the file of %d records: %.1f bytes a record; a plain table: %.1f (ratio %.2f)\n", records,
                static_cast<double>(std::filesystem::file_size(large + ".tps")) / records, plain,
                static_cast<double>(std::filesystem::file_size(large + ".tps")) / records / plain);

    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::filesystem::remove_all(folder);
    return 0;
}
