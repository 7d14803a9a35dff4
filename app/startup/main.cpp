// kvrman1: the manager "Kvr Manager V3.01".
#include "console/main_window.h"
#include "library/commands_library.h"
#include "runtime/app_icon.h"
#include "runtime/standard_translations.h"
#include "startup/program.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kvrman1"));
    QApplication::setWindowIcon(kvr::runtime::applicationIcon());
    const kvr::runtime::StandardTranslations spanishQtTexts;
    kvr::library::CommandsLibrary library;
    return kvr::startup::runProgram([&library](int32_t portHandle, const std::string &portName) {
        kvr::console::runMainWindow(library, portHandle, portName);
    });
}
