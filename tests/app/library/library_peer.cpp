// A second process for the command library tests: runs the import in a
// folder of its own and reports on standard output.
//
//   library_peer [--database=CONNINFO] import FOLDER SOURCE PAUSE
//       imports SOURCE into FOLDER/COMMANDS.tps, or into the team library
//       of that PostgreSQL database.  PAUSE > 0: once PAUSE
//       records are read and a batch is open, prints "paused APPENDED
//       PENDING" (committed, and appended in the open batch) and waits to be
//       killed.  At the end prints "done APPENDED NOT_APPENDED".
#include "library/command_import.h"
#include "library/commands_library.h"
#include "runtime/qt/screen_interaction.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

int main(int argc, char **argv) {
    std::string database;
    if (argc > 1 && std::strncmp(argv[1], "--database=", 11) == 0) {
        database = argv[1] + 11;
        --argc;
        ++argv;
    }
    if (argc != 5 || std::string(argv[1]) != "import") return 2;
    std::filesystem::current_path(argv[2]);
    const long pause = std::atol(argv[4]);
    kvr::runtime::qt::ScreenInteraction screen;
    kvr::library::CommandsLibrary library(screen, database);
    library.setImportFileName(argv[3]);
    const auto result = kvr::library::importCommandFile(library, {}, [pause](const kvr::library::ImportReport &r) {
        if (pause <= 0 || r.read < pause || r.pending == 0) return;
        std::printf("paused %lld %lld\n", static_cast<long long>(r.appended), static_cast<long long>(r.pending));
        std::fflush(stdout);
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    });
    if (result.openError) {
        std::printf("error %d\n", result.openError->code);
        return 1;
    }
    std::printf("done %lld %lld\n", static_cast<long long>(result.report.appended),
                static_cast<long long>(result.report.notAppended));
    return 0;
}
