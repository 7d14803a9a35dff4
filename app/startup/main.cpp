// kvrman1: the manager "Kvr Manager V3.01".
#include "console/main_window.h"
#include "library/commands_library.h"
#include "runtime/qt/app_icon.h"
#include "runtime/qt/program_style.h"
#include "runtime/qt/screen_interaction.h"
#include "runtime/qt/standard_translations.h"
#include "startup/command_line.h"
#include "startup/display_guard.h"
#include "startup/library_setting.h"
#include "startup/program.h"

#include "common/c_boundary.h"

#include <QApplication>

#include <cstdio>
#include <memory>

namespace {

int run(int argc, char **argv) {
    switch (kvr::startup::commandLineAction(argc, argv)) {
    case kvr::startup::CommandLineAction::Help: std::fputs(kvr::startup::helpText().c_str(), stdout); return 0;
    case kvr::startup::CommandLineAction::Version: std::fputs(kvr::startup::versionText().c_str(), stdout); return 0;
    case kvr::startup::CommandLineAction::Run: break;
    }
    auto displayGuard = std::make_unique<kvr::startup::DisplayGuard>("kvrman1");
    QApplication application(argc, argv);
    displayGuard.reset();
    QApplication::setApplicationName(QStringLiteral("kvrman1"));
    QApplication::setWindowIcon(kvr::runtime::qt::applicationIcon());
    kvr::runtime::qt::useProgramStyle();
    const kvr::runtime::qt::StandardTranslations spanishQtTexts;
    // The operator's side of the program, handed to everything that asks.
    kvr::runtime::qt::ScreenInteraction screen;
    kvr::library::CommandsLibrary library(screen, kvr::startup::libraryDatabaseSetting());
    return kvr::startup::runProgram(screen, [&screen, &library](int32_t portHandle, const std::string &portName) {
        kvr::console::runMainWindow(screen, library, portHandle, portName);
    });
}

}  // namespace

int main(int argc, char **argv) {
    return kvr::common::guardMain("kvrman1", [&] { return run(argc, argv); });
}
