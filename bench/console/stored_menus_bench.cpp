// Cost of building the stored-command menus of the "&Tarjeta" menu from a
// COMMANDS file of 999 commands (nine cards of 111): reading the file in key
// order, planning and creating 999 submenus and entries, after removing the
// previous build's.  Goal: under 100 ms per build.
#include "runtime/qt/screen_interaction.h"
#include "console/main_menu.h"
#include "console/stored_command_menus.h"
#include "library/commands_file.h"
#include "library/commands_library.h"
#include "keyed_file/store_choice.h"
#include "runtime/qt/menus.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kCards = 9;
constexpr int kCommandsPerCard = 111;

bool writeCommands() {
    kvr::library::Commands record = kvr::library::blankCommands();
    kvr::keyed::KeyedFile file(kvr::library::commandsLayout(), "COMMANDS",
                               kvr::keyed::makeKeyedStore({}, kvr::library::commandsLayout()));
    file.bind(kvr::library::commandsBinding(record));
    if (file.create() != 0 || file.open(kvr::keyed::KeyedFile::kModeSharedReadWrite) != 0 ||
        file.beginTransaction() != 0)
        return false;
    for (int card = 0; card < kCards; ++card) {
        for (int i = 0; i < kCommandsPerCard; ++i) {
            record = kvr::library::blankCommands();
            kvr::library::setField(record.card, "CARD" + std::to_string(card));
            kvr::library::setField(record.name, "Command " + std::to_string(i));
            kvr::library::setField(record.frsCode, "A1");
            kvr::library::setField(record.data, "00A4040007A0000000031010");
            // Function keys and Ctrl+letters, some repeated.
            record.hotKey = i % 3 == 0 ? 0x70 + i % 24 : (i % 3 == 1 ? 0x241 + i % 26 : 0);
            if (file.add() != 0) return false;
        }
    }
    return file.commit() == 0 && file.close() == 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 50;
    const auto folder = std::filesystem::temp_directory_path() / ("kvr-menus-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);
    if (!writeCommands()) {
        std::fprintf(stderr, "cannot write COMMANDS\n");
        return 1;
    }

    QMainWindow window;
    kvr::runtime::qt::Menus menus(window.menuBar());
    kvr::console::buildMainMenu(menus);
    kvr::runtime::qt::ScreenInteraction screen;
    kvr::library::CommandsLibrary library(screen);
    library.openCommands();
    kvr::console::StoredCommandMenus stored(menus, library, kvr::console::MenuCard,
                                            kvr::console::keysKeptByFixedItems());

    stored.build(0);  // warm the caches
    int32_t last = stored.plan().lastEntryNumber;
    std::vector<double> samples;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        if (!stored.build(last)) {
            std::fprintf(stderr, "cannot read COMMANDS\n");
            return 1;
        }
        last = stored.plan().lastEntryNumber;
        samples.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(samples.begin(), samples.end());
    const double median = samples[samples.size() / 2];
    std::printf("stored-command menus from %d commands (%d numbers used), %d rebuilds\n", kCards * kCommandsPerCard,
                last - 1000, rounds);
    std::printf("  median: %8.2f ms (goal < 100) %s\n", median, median < 100 ? "met" : "NOT MET");
    std::printf("  worst:  %8.2f ms\n", samples.back());

    library.closeCommands();
    std::filesystem::current_path(folder.parent_path());
    std::filesystem::remove_all(folder);
    return 0;
}
