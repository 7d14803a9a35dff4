#include "window_test_support.h"

#include "console/main_window.h"
#include "runtime/qt/menus.h"
#include "runtime/message_box.h"
#include "runtime/profile.h"

#include <kvr7x.h>

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <set>

namespace kvr::console::testing {

void ConsoleWindowTest::TearDown() {
    if (port >= 0) QXCLOSE(port);
    port = -1;
    if (emulator) emulator->stop();
}

void ConsoleWindowTest::startReader(kvr7x::emu::Config config) {
    config.port = 0;
    emulator = std::make_unique<kvr7x::emu::Emulator>(std::move(config));
    std::string error;
    ASSERT_TRUE(emulator->start(error)) << error;
    port = QXOPEN(emulator->url().c_str());
    ASSERT_GE(port, 0) << "the driver could not open " << emulator->url();
}

void ConsoleWindowTest::runMainWindow(std::map<std::string, WindowHandler> handlers) {
    std::set<std::string> ran;
    interaction.windowRunHook = [&](runtime::qt::Window &window) {
        const auto handler = handlers.find(window.name());
        if (handler == handlers.end()) return;
        ran.insert(window.name());
        window.activateWindow();
        (void)QTest::qWaitForWindowActive(&window, 1000);
        handler->second(window);
        if (window.isVisible()) window.close();
    };
    kvr::console::runMainWindow(interaction, library, port, "COM2");
    interaction.windowRunHook = nullptr;
    for (const auto &[name, handler] : handlers) EXPECT_TRUE(ran.count(name)) << "window " << name << " never ran";
}

void ConsoleWindowTest::choose(runtime::qt::Window &window, const std::string &item) {
    runtime::qt::Menus *menus = window.menus();
    ASSERT_NE(menus, nullptr);
    const int id = menus->idOf(item);
    ASSERT_NE(id, 0) << "no menu item " << item;
    menus->action(id)->trigger();
}

bool ConsoleWindowTest::itemEnabled(runtime::qt::Window &window, const std::string &item) {
    const int id = window.menus()->idOf(item);
    EXPECT_NE(id, 0) << "no menu item " << item;
    return window.menus()->isEnabled(id);
}

bool ConsoleWindowTest::itemVisible(runtime::qt::Window &window, const std::string &item) {
    const int id = window.menus()->idOf(item);
    EXPECT_NE(id, 0) << "no menu item " << item;
    return window.menus()->isVisible(id);
}

QLineEdit *ConsoleWindowTest::field(runtime::qt::Window &window, const char *name) {
    auto *f = window.findChild<QLineEdit *>(name);
    EXPECT_NE(f, nullptr) << "no field " << name;
    return f;
}

QString ConsoleWindowTest::text(runtime::qt::Window &window, const char *name) {
    QLineEdit *f = field(window, name);
    return f ? f->text() : QString("<missing>");
}

void ConsoleWindowTest::type(runtime::qt::Window &window, const char *name, const QString &keys, bool atEnd) {
    QLineEdit *f = field(window, name);
    if (!f) return;
    // Entering a field with Tab selects its text, so typing replaces it.
    f->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    if (atEnd) f->end(false);
    for (QChar c : keys) QTest::sendKeyEvent(QTest::Click, f, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void ConsoleWindowTest::clickSend(runtime::qt::Window &window) {
    auto *send = window.findChild<QPushButton *>("send");
    ASSERT_NE(send, nullptr);
    QTest::mouseClick(send, Qt::LeftButton);
}

std::vector<uint8_t> lastFrame(kvr7x::emu::Emulator &emulator) {
    std::vector<uint8_t> frame;
    // No frame in time leaves it empty, which is what the caller checks.
    (void)emulator.log().waitFor(
        [&](const std::vector<kvr7x::emu::LogEntry> &entries) {
            for (const auto &e : entries)
                if (e.kind == kvr7x::emu::LogEntry::Kind::FromHost) frame = e.bytes;
            return !frame.empty();
        },
        std::chrono::milliseconds(1000));
    return frame;
}

std::vector<std::vector<uint8_t>> framesReceived(kvr7x::emu::Emulator &emulator) {
    std::vector<std::vector<uint8_t>> frames;
    for (const auto &e : emulator.log().entries())
        if (e.kind == kvr7x::emu::LogEntry::Kind::FromHost) frames.push_back(e.bytes);
    return frames;
}

std::string settingsFilePath() { return runtime::profilePath("KVRMAN1.INI"); }

}  // namespace kvr::console::testing
