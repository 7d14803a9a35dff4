// Cost of keeping the session's history with its window open: 10,000
// exchanges appended one by one (each a select with data sent and a reply
// of 64 bytes), the window following each and handling its events, then
// 10,000 more once the history is full and drops its oldest.  Goals: a
// median under 1 ms per append (window work included: the list catches up
// at most every 40 ms, so the worst appends are the ones that redraw it),
// and memory that stops growing once the history holds its 10,000.
//   history_bench [RUNS]     (default 3 runs; offscreen unless a display is set)
#include "runtime/qt/screen_interaction.h"
#include "session/exchange_history.h"
#include "session/exchange_text.h"
#include "console/history_window.h"
#include "runtime/qt/window.h"

#include "../support/spread.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QTableView>
#include <QTemporaryDir>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

kvr::session::Exchange sample(int i) {
    kvr::session::Exchange e;
    e.startedMs = 1796811303123 + i;
    e.durationMs = 12;
    e.header = {0xA1, 0x00, 0xA4, 0x04, 0x00, 0x07};
    e.sent = std::string("\xA0\x00\x00\x00\x03\x10\x10", 7);
    e.sw1 = 0x90;
    e.received.assign(64, static_cast<char>(i & 0xFF));
    e.status = "Comando procesado correctamente";
    e.meaning = "Proceso correcto";
    return e;
}

double heapMiB() { return static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0); }

struct Run {
    double medianMs = 0, worstMs = 0;
    double heapFullMiB = 0, heapTwiceMiB = 0;
    double catchUpMs = 0;  // after the last append, until the list showed it
};

Run runOnce() {
    kvr::session::ExchangeHistory history;
    kvr::runtime::qt::ScreenInteraction screen;
    kvr::runtime::qt::Window *window = kvr::console::showHistoryWindow(screen, history, nullptr);
    QApplication::processEvents();
    const std::size_t n = kvr::session::ExchangeHistory::kCapacity;
    std::vector<double> times;
    times.reserve(n);
    Run run;
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = 0; i < n; ++i) {
            const auto start = std::chrono::steady_clock::now();
            history.append(sample(static_cast<int>(round * n + i)));
            QApplication::processEvents();
            if (round == 0)
                times.push_back(
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        // The list catches up within its 40 ms; it then shows every
        // exchange kept, and the time that took is one redraw.
        const auto start = std::chrono::steady_clock::now();
        const QAbstractItemModel *list = window->findChild<QTableView *>("exchanges")->model();
        const QString newest = QString::fromStdString(
            kvr::session::exchangeColumn(history.at(history.size() - 1), kvr::session::ColumnTime));
        const auto shown = [&] {
            const int rows = list->rowCount();
            return rows == static_cast<int>(history.size()) && list->index(rows - 1, 0).data().toString() == newest;
        };
        while (!shown()) QApplication::processEvents();
        run.catchUpMs = std::max(
            run.catchUpMs, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        (round == 0 ? run.heapFullMiB : run.heapTwiceMiB) = heapMiB();
    }
    const kvr::bench::Spread spread = kvr::bench::spreadOf(times);
    run.medianMs = spread.median;
    run.worstMs = spread.high;
    window->close();
    delete window;
    return run;
}

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window keeps its place in a settings file of its own here.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QDir(config.path()).filePath("config").toLocal8Bit());
    QApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    std::vector<double> medians, growth;
    for (int r = 0; r < runs; ++r) {
        const Run run = runOnce();
        medians.push_back(run.medianMs);
        growth.push_back(run.heapTwiceMiB - run.heapFullMiB);
        std::printf(
            "run %d: median %.3f ms, worst %.2f ms per append; list caught up %.1f ms after the last; "
            "heap %.1f MiB at 10,000, %.1f MiB at 20,000\n",
            r + 1, run.medianMs, run.worstMs, run.catchUpMs, run.heapFullMiB, run.heapTwiceMiB);
    }
    const kvr::bench::Spread median = kvr::bench::spreadOf(medians);
    const kvr::bench::Spread grown = kvr::bench::spreadOf(growth);
    std::printf("10,000 exchanges appended with the history window open, %d runs\n", runs);
    std::printf("  median per append: %s (goal < 1 ms): %s\n", kvr::bench::spreadText(median, 3, " ms").c_str(),
                kvr::bench::verdictBelow(median, 1.0));
    // Bounded: the second 10,000 replace the first, so the heap stays put
    // (a little slack for the allocator's own bookkeeping).
    std::printf("  heap growth over the second 10,000: %s (goal < 1 MiB): %s\n",
                kvr::bench::spreadText(grown, 2, " MiB").c_str(), kvr::bench::verdictBelow(grown, 1.0));
    return 0;
}
