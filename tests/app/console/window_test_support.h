// Support for the console's window tests: a reader emulator on an ephemeral
// port opened through the driver over RFC 2217, and the main window run with
// a handler per window name, called inside that window's own event loop.
#ifndef KVR_TESTS_CONSOLE_WINDOW_TEST_SUPPORT_H
#define KVR_TESTS_CONSOLE_WINDOW_TEST_SUPPORT_H

#include "library/commands_library.h"
#include "runtime/qt/window.h"
#include "scripted_interaction.h"

#include <emulator.h>

#include <QLineEdit>
#include <QString>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <ostream>

// Readable QStrings in test failures.
inline void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }

namespace kvr::console::testing {

using WindowHandler = std::function<void(runtime::qt::Window &)>;

class ConsoleWindowTest : public ::testing::Test {
protected:
    // The command library on the given database (store_choice.h): local
    // files unless one is given.
    explicit ConsoleWindowTest(std::string database = {}) : library(interaction, std::move(database)) {}
    void TearDown() override;

    // Starts the emulator (on a free port) and opens it with QXOPEN.
    void startReader(kvr7x::emu::Config config = {});

    // Runs the main window; each handler runs as the first event of the
    // window of that name.  The main window is closed after its handler
    // returns unless the handler closed it.  Fails the test when a handler
    // did not run.
    void runMainWindow(std::map<std::string, WindowHandler> handlers);
    // The same with a handler for the one window named.
    void runMainWindow(const std::string &window, WindowHandler handler) {
        runMainWindow({{window, std::move(handler)}});
    }

    // Chooses a menu item by name as the pointer would.
    static void choose(runtime::qt::Window &window, const std::string &item);
    static bool itemEnabled(runtime::qt::Window &window, const std::string &item);
    static bool itemVisible(runtime::qt::Window &window, const std::string &item);

    static QLineEdit *field(runtime::qt::Window &window, const char *name);
    static QString text(runtime::qt::Window &window, const char *name);
    // Enters the field as the Tab key does and types the text over its
    // contents, or after them with atEnd.
    static void type(runtime::qt::Window &window, const char *name, const QString &keys, bool atEnd = false);
    static void clickSend(runtime::qt::Window &window);

    std::unique_ptr<kvr7x::emu::Emulator> emulator;
    int32_t port = -1;
    // The operator's side: the test answers the boxes and dialogs here.
    test_support::ScriptedInteraction interaction;
    // The command library the main window runs with.
    library::CommandsLibrary library;
};

// Handles events until the condition holds or the time is up; says whether
// it held.  (Qt's QTRY_ macros only return from the function on failure,
// which a gtest case would not notice.)
template <typename Condition>
bool eventually(Condition condition, int milliseconds = 3000) {
    return QTest::qWaitFor(condition, milliseconds);
}

// The last command frame the emulated reader received whole (waiting up to
// a second for one); empty when none came.
std::vector<uint8_t> lastFrame(kvr7x::emu::Emulator &emulator);
// Every command frame the emulated reader received whole so far.
std::vector<std::vector<uint8_t>> framesReceived(kvr7x::emu::Emulator &emulator);

// The settings file the tests' windows use.
std::string settingsFilePath();

}  // namespace kvr::console::testing

#endif
