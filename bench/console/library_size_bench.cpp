// Whether the size of COMMANDS shows in the manager: the main window's start
// until it takes input, closing the command browser until the main window
// takes input again, and the resident memory at start, with 1,000,000
// records against an empty library (start) and 300 records (close, memory).
//
// Each measure is a process of its own, started as kvrman1 starts (Qt, the
// library, the port opened on an emulator this program serves, the main
// window): the bench runs itself with --child.  The sizes take turns in
// every round, in an order that moves on each round, so that the machine's
// load falls on all of them alike; each round gives one ratio of each
// kind.  Goals: every ratio at most 1.5.
//
//   library_size_bench [ROUNDS [RECORDS]]   (5 rounds, 1,000,000 records)
//
// The files are made once (records through the engine, ten commands a card,
// one card in ten a SAM card) and kept under the temporary folder for the
// next run: kvr-library-size-bench/RECORDS/COMMANDS.tps.
#include "console/main_window.h"
#include "library/commands_file.h"
#include "library/commands_library.h"
#include "keyed_file/store_choice.h"
#include "runtime/qt/menus.h"
#include "runtime/qt/program_style.h"
#include "runtime/qt/screen_interaction.h"
#include "runtime/qt/standard_translations.h"
#include "runtime/qt/toolkit.h"
#include "runtime/qt/window.h"
#include "support/spread.h"

#include <emulator.h>
#include <kvr7x.h>

#include <QAction>
#include <QApplication>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

extern char **environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kClosesPerChild = 3;

double msSince(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// VmRSS and VmHWM of this process, in kB.
std::pair<long, long> residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    long rss = 0, hwm = 0;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) rss = std::atol(line.c_str() + 6);
        if (line.rfind("VmHWM:", 0) == 0) hwm = std::atol(line.c_str() + 6);
    }
    return {rss, hwm};
}

// The command file of a size, made once.
bool commandFileOf(const fs::path &folder, long records) {
    fs::create_directories(folder / "config");
    const fs::path path = folder / "COMMANDS.tps";
    const auto layout = kvr::library::commandsLayout();
    {
        kvr::keyed::KeyedFile file(layout, path.string(), kvr::keyed::makeKeyedStore({}, layout));
        if (file.open(kvr::keyed::KeyedFile::kModeSharedReadWrite) == 0 && file.records() == records) return true;
    }
    fs::remove(path);
    std::fprintf(stderr, "making %s (%ld records)...\n", path.c_str(), records);
    kvr::library::Commands record = kvr::library::blankCommands();
    kvr::keyed::KeyedFile file(layout, path.string(), kvr::keyed::makeKeyedStore({}, layout));
    file.bind(kvr::library::commandsBinding(record));
    if (file.create() != 0 || file.open(kvr::keyed::KeyedFile::kModeSharedReadWrite) != 0) return false;
    for (long n = 0; n < records;) {
        if (file.beginTransaction() != 0) return false;
        for (long end = std::min(records, n + 100000); n < end; ++n) {
            const long card = n / 10;
            char text[32];
            std::snprintf(text, sizeof text, card % 10 == 9 ? "SAM%06ld" : "CARD%06ld", card);
            record = kvr::library::blankCommands();
            kvr::library::setField(record.card, text);
            kvr::library::setField(record.name, "Command " + std::to_string(n % 10));
            kvr::library::setField(record.frsCode, "A1");
            kvr::library::setField(record.frsCla, "00");
            kvr::library::setField(record.frsIns, "A4");
            kvr::library::setField(record.frsP1, "04");
            kvr::library::setField(record.frsP2, "00");
            kvr::library::setField(record.frsP3, "07");
            kvr::library::setField(record.data, "A0000000031010");
            if (file.add() != 0) return false;
        }
        if (file.commit() != 0) return false;
    }
    return file.close() == 0;
}

// The screen's interaction, with a hand in each window as it starts running.
class BenchInteraction final : public kvr::runtime::UserInteraction {
public:
    std::function<void(kvr::runtime::qt::Window &)> onRun;

    int answerMessageBox(const kvr::runtime::MessageBoxRequest &request) override {
        std::fprintf(stderr, "box: %s\n", request.text.c_str());
        return request.defaultButton;
    }
    std::string chooseOpenFile(const kvr::runtime::OpenFileRequest &) override { return {}; }
    std::string chooseSaveFile(const kvr::runtime::OpenFileRequest &) override { return {}; }
    void endProgram(const std::string &text) override {
        std::fprintf(stderr, "program ended: %s\n", text.c_str());
        std::_Exit(3);
    }
    void windowRunning(kvr::runtime::Window &window) override {
        if (onRun) onRun(kvr::runtime::qt::qtWindow(window));
    }
    kvr::runtime::Toolkit &toolkit() override { return toolkit_; }

private:
    kvr::runtime::qt::Toolkit toolkit_;
};

// One start of the manager in this process: prints "START_MS RSS_KB HWM_KB
// CLOSE_MS..." on standard output.
int child(const char *url, long long spawnedAtNs, int argc, char **argv) {
    const Clock::time_point spawned{std::chrono::nanoseconds(spawnedAtNs)};
    QApplication application(argc, argv);
    kvr::runtime::qt::useProgramStyle();
    const kvr::runtime::qt::StandardTranslations spanishQtTexts;
    BenchInteraction interaction;
    kvr::library::CommandsLibrary library(interaction);
    const int32_t port = QXOPEN(url);
    if (port < 0) return 2;
    double startMs = 0;
    std::pair<long, long> memory;
    std::vector<double> closes;
    Clock::time_point closedAt;
    interaction.onRun = [&](kvr::runtime::qt::Window &window) {
        if (window.name() == "BROWSECMD$QUICKWINDOW") {
            closedAt = Clock::now();
            window.close();
            return;
        }
        if (window.name() != "MAIN$WINDOW") return;
        startMs = msSince(spawned);
        memory = residentKb();
        QAction *browser = window.menus()->action(window.menus()->idOf("utilities.commands"));
        for (int i = 0; i < kClosesPerChild; ++i) {
            browser->trigger();  // the browser runs, closes, and the menus follow
            closes.push_back(msSince(closedAt));
        }
        window.close();
    };
    kvr::console::runMainWindow(interaction, library, port, "COM1");
    QXCLOSE(port);
    std::printf("%.3f %ld %ld", startMs, memory.first, memory.second);
    for (double c : closes) std::printf(" %.3f", c);
    std::printf("\n");
    return 0;
}

struct ChildResult {
    double startMs = 0;
    long rssKb = 0, hwmKb = 0;
    double closeMs = 0;  // the median of the child's closes
};

bool runChild(const std::string &self, const fs::path &folder, const std::string &url, ChildResult &result) {
    const fs::path out = folder / "child.out";
    const long long now = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    const std::string spawnedAt = std::to_string(now);
    std::vector<std::string> args{self, "--child", url, spawnedAt};
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // Qt's notes about the offscreen platform, and any box, kept aside.
    posix_spawn_file_actions_addopen(&actions, 2, (folder / "child.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "see %s\n", (folder / "child.err").c_str());
        return false;
    }
    std::ifstream in(out);
    in >> result.startMs >> result.rssKb >> result.hwmKb;
    std::vector<double> closes;
    for (double c = 0; in >> c;) closes.push_back(c);
    if (closes.empty()) return false;
    result.closeMs = kvr::bench::spreadOf(closes).median;
    return true;
}

void report(const char *what, const std::vector<double> &big, const std::vector<double> &anchor,
            const std::vector<double> &ratios, const char *unit, int decimals, const char *anchorName) {
    const kvr::bench::Spread ratio = kvr::bench::spreadOf(ratios);
    std::printf("%s\n  1M: %s   %s: %s\n  ratio: %s  goal <= 1.5: %s\n", what,
                kvr::bench::spreadText(kvr::bench::spreadOf(big), decimals, unit).c_str(), anchorName,
                kvr::bench::spreadText(kvr::bench::spreadOf(anchor), decimals, unit).c_str(),
                kvr::bench::spreadText(ratio, 2, "").c_str(), kvr::bench::verdictBelow(ratio, 1.5000001));
}

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0) {
        qputenv("XDG_CONFIG_HOME", "config");
        return child(argv[2], std::atoll(argv[3]), 1, argv);
    }
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    const long big = argc > 2 ? std::atol(argv[2]) : 1000000;
    const fs::path base = fs::temp_directory_path() / "kvr-library-size-bench";
    const std::vector<long> sizes{0, 300, big};
    for (long size : sizes)
        if (!commandFileOf(base / std::to_string(size), size)) {
            std::fprintf(stderr, "cannot make the command file of %ld records\n", size);
            return 1;
        }
    kvr7x::emu::Config config;
    config.port = 0;
    kvr7x::emu::Emulator emulator(config);
    std::string error;
    if (!emulator.start(error)) {
        std::fprintf(stderr, "emulator: %s\n", error.c_str());
        return 1;
    }
    const std::string self = fs::canonical("/proc/self/exe").string();
    std::vector<double> startBig, startEmpty, startRatio, closeBig, closeSmall, closeRatio, rssBig, rssSmall, rssRatio,
        hwmBig, hwmSmall;
    for (int round = 0; round < rounds; ++round) {
        ChildResult results[3];
        for (int i = 0; i < 3; ++i) {
            const int which = (round + i) % 3;
            if (!runChild(self, base / std::to_string(sizes[which]), emulator.url(), results[which])) {
                std::fprintf(stderr, "the manager's start on %ld records failed\n", sizes[which]);
                return 1;
            }
        }
        const ChildResult &empty = results[0], &small = results[1], &large = results[2];
        startBig.push_back(large.startMs);
        startEmpty.push_back(empty.startMs);
        startRatio.push_back(large.startMs / empty.startMs);
        closeBig.push_back(large.closeMs);
        closeSmall.push_back(small.closeMs);
        closeRatio.push_back(large.closeMs / small.closeMs);
        rssBig.push_back(large.rssKb / 1024.0);
        rssSmall.push_back(small.rssKb / 1024.0);
        rssRatio.push_back(static_cast<double>(large.rssKb) / static_cast<double>(small.rssKb));
        hwmBig.push_back(large.hwmKb / 1024.0);
        hwmSmall.push_back(small.hwmKb / 1024.0);
        std::printf("round %d: start %.1f / %.1f ms, close %.1f / %.1f ms, rss %.1f / %.1f MB\n", round + 1,
                    large.startMs, empty.startMs, large.closeMs, small.closeMs, large.rssKb / 1024.0,
                    small.rssKb / 1024.0);
    }
    emulator.stop();
    std::printf("%ld records, %d rounds (median, lowest-highest)\n", big, rounds);
    report("start until the main window takes input", startBig, startEmpty, startRatio, " ms", 1, "empty");
    report("closing the browser until the main window takes input", closeBig, closeSmall, closeRatio, " ms", 1, "300");
    report("resident memory when the main window takes input", rssBig, rssSmall, rssRatio, " MB", 1, "300");
    std::printf("  peak: 1M %s   300: %s\n", kvr::bench::spreadText(kvr::bench::spreadOf(hwmBig), 1, " MB").c_str(),
                kvr::bench::spreadText(kvr::bench::spreadOf(hwmSmall), 1, " MB").c_str());
    return 0;
}
