#include "runtime/qt/app_icon.h"
#include "runtime/qt/menus.h"
#include "runtime/wait_cursor.h"
#include "runtime/qt/window.h"
#include "scripted_interaction.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvr::runtime::qt {
namespace {

// A window that records what happens to it and runs a script from inside
// its own event loop.
class ScriptedWindow : public Window {
public:
    ScriptedWindow(const std::string &name, UserInteraction &interaction, std::vector<std::string> &log,
                   bool menus = true)
        : Window({.name = name,
                  .title = name,
                  .fontFace = "Fixedsys",
                  .clientSize = {160, 60},
                  .menuBar = menus,
                  .statusBar = menus},
                 interaction),
          log_(log) {}

    bool refuseClose = false;

protected:
    void opened() override { log_.push_back(name() + " opened"); }
    bool closeRequested() override {
        log_.push_back(name() + (refuseClose ? " refuses" : " agrees"));
        return !refuseClose;
    }
    void closing() override { log_.push_back(name() + " closing"); }

private:
    std::vector<std::string> &log_;
};

class WindowTest : public ::testing::Test {
protected:
    test_support::ScriptedInteraction interaction;
    std::vector<std::string> log;
};

TEST_F(WindowTest, NestedWindowsRunTheirOwnLoopAndTheCallerResumesAfterwards) {
    ScriptedWindow outer("OUTER$WINDOW", interaction, log);
    ScriptedWindow inner("INNER$WINDOW", interaction, log, false);
    interaction.windowRunHook = [&](Window &window) {
        log.push_back(window.name() + " running");
        if (&window == &outer) {
            EXPECT_TRUE(outer.isRunning());
            inner.run();
            log.push_back("back in OUTER$WINDOW");
            EXPECT_TRUE(outer.isVisible());
            outer.close();
        } else {
            EXPECT_EQ(QApplication::activeModalWidget(), &inner);
            EXPECT_EQ(inner.windowModality(), Qt::ApplicationModal);
            inner.close();
        }
    };
    outer.run();
    log.push_back("run returned");
    const std::vector<std::string> expected = {"OUTER$WINDOW opened",  "OUTER$WINDOW running", "INNER$WINDOW opened",
                                               "INNER$WINDOW running", "INNER$WINDOW agrees",  "INNER$WINDOW closing",
                                               "back in OUTER$WINDOW", "OUTER$WINDOW agrees",  "OUTER$WINDOW closing",
                                               "run returned"};
    EXPECT_EQ(log, expected);
    EXPECT_FALSE(outer.isVisible());
    EXPECT_FALSE(outer.isRunning());
}

TEST_F(WindowTest, AWindowThatRefusesToCloseKeepsRunning) {
    ScriptedWindow window("MAIN$WINDOW", interaction, log);
    window.refuseClose = true;
    interaction.windowRunHook = [&](Window &) {
        window.close();
        EXPECT_TRUE(window.isVisible());
        EXPECT_TRUE(window.isRunning());
        window.refuseClose = false;
        window.close();
    };
    window.run();
    EXPECT_EQ(log, (std::vector<std::string>{"MAIN$WINDOW opened", "MAIN$WINDOW refuses", "MAIN$WINDOW agrees",
                                             "MAIN$WINDOW closing"}));
}

TEST_F(WindowTest, WindowsCarryTheirNameTitleAndIcon) {
    ScriptedWindow window("ABOUT$WINDOW", interaction, log);
    EXPECT_EQ(window.objectName(), QStringLiteral("ABOUT$WINDOW"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("ABOUT$WINDOW"));
    EXPECT_FALSE(window.windowIcon().isNull());
    const QImage icon = applicationIconPixmap(32).toImage();
    // Drawn, not blank: some pixels are opaque, the corners stay clear.
    EXPECT_GT(qAlpha(icon.pixel(16, 20)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
}

TEST_F(WindowTest, MenusAreBuiltChangedAndRemovedAtRunTime) {
    ScriptedWindow window("MAIN$WINDOW", interaction, log);
    Menus &menus = *window.menus();
    ASSERT_NE(menus.addMenu(1, QStringLiteral("&Lector"), Menus::Bar, "reader"), nullptr);
    menus.addItem(1, 10, QStringLiteral("&Reset"));
    menus.addMenu(11, QStringLiteral("&Seleccionar Tipo de Tarjeta"), 1);
    menus.addItem(11, 110, QStringLiteral("&Asincronas T=0"), 0, QStringLiteral("KVR73"));
    menus.addItem(11, 111, QStringLiteral("Sincronas QX&256"), 0, QStringLiteral("Soportado por KVR73C"), "qx256");
    menus.addSeparator(1);
    menus.addItem(1, 12, QStringLiteral("Salir"), 0x258);

    // Ids are unique, parents must exist.
    EXPECT_EQ(menus.addItem(1, 10, QStringLiteral("again")), nullptr);
    EXPECT_EQ(menus.addItem(99, 13, QStringLiteral("nowhere")), nullptr);

    EXPECT_EQ(menus.idOf("qx256"), 111);
    EXPECT_EQ(menus.idOf("reader"), 1);
    EXPECT_EQ(menus.idOf(menus.action(12)), 12);
    EXPECT_EQ(menus.action(12)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    EXPECT_EQ(menus.action(111)->statusTip(), QStringLiteral("Soportado por KVR73C"));
    EXPECT_EQ(menus.menu(1)->actions().size(), 4);

    menus.setEnabled(111, false);
    menus.setVisible(11, false);
    EXPECT_FALSE(menus.isEnabled(111));
    EXPECT_FALSE(menus.isVisible(11));
    EXPECT_TRUE(menus.isVisible(10));

    EXPECT_TRUE(menus.remove(11));
    EXPECT_FALSE(menus.contains(11));
    EXPECT_FALSE(menus.contains(110));
    EXPECT_FALSE(menus.contains(111));
    EXPECT_EQ(menus.menu(1)->actions().size(), 3);
    EXPECT_FALSE(menus.remove(11));
    // The id is free again.
    EXPECT_NE(menus.addItem(1, 110, QStringLiteral("again")), nullptr);
}

TEST_F(WindowTest, ShortcutsChooseEnabledItems) {
    ScriptedWindow window("MAIN$WINDOW", interaction, log);
    Menus &menus = *window.menus();
    menus.addMenu(3, QStringLiteral("&Tarjeta"));
    menus.addItem(3, 30, QStringLiteral("[Comandos]"), 0x7B);
    menus.addMenu(31, QStringLiteral("EMV"), 3);
    menus.addItem(31, 1002, QStringLiteral("Select"), 0x71);
    menus.addItem(31, 1003, QStringLiteral("Read"), 0x241);
    menus.setEnabled(30, false);
    std::vector<int> chosen;
    QObject::connect(&menus, &Menus::triggered, [&](int id) { chosen.push_back(id); });

    interaction.windowRunHook = [&](Window &) {
        window.activateWindow();
        QApplication::setActiveWindow(&window);
        QTest::keyClick(&window, Qt::Key_F2);
        QTest::keyClick(&window, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&window, Qt::Key_F12);  // disabled: nothing
        menus.setVisible(31, false);
        QTest::keyClick(&window, Qt::Key_F2);  // hidden: nothing
        window.close();
    };
    window.run();
    EXPECT_EQ(chosen, (std::vector<int>{1002, 1003}));
}

TEST_F(WindowTest, HintsShowWhileAnItemIsHighlightedAndTheStatusTextComesBack) {
    ScriptedWindow window("MAIN$WINDOW", interaction, log);
    Menus &menus = *window.menus();
    menus.addMenu(1, QStringLiteral("&Lector"));
    menus.addItem(1, 10, QStringLiteral("&Asincronas T=0"), 0, QStringLiteral("KVR73"));
    menus.addItem(1, 11, QStringLiteral("&Reset"));
    window.setStatusText(QStringLiteral("Comando procesado correctamente"));

    QString hint, afterwards, shown;
    interaction.windowRunHook = [&](Window &) {
        QApplication::setActiveWindow(&window);
        QMenu *menu = menus.menu(1);
        QMenuBar *bar = window.menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
        EXPECT_TRUE(menu->isVisible());
        QTest::keyClick(menu, Qt::Key_Down);
        hint = window.statusBar()->currentMessage();
        QTest::keyClick(menu, Qt::Key_Down);
        afterwards = window.statusBar()->currentMessage();
        QTest::keyClick(menu, Qt::Key_Escape);
        shown = window.statusText();
        window.close();
    };
    window.run();
    EXPECT_EQ(hint, QStringLiteral("KVR73"));
    EXPECT_EQ(afterwards, QString());
    EXPECT_EQ(shown, QStringLiteral("Comando procesado correctamente"));
}

TEST_F(WindowTest, AccessLettersOpenMenusAndChooseItems) {
    ScriptedWindow window("MAIN$WINDOW", interaction, log);
    Menus &menus = *window.menus();
    menus.addMenu(1, QStringLiteral("&Lector"));
    menus.addItem(1, 10, QStringLiteral("&Reset"));
    menus.addItem(1, 11, QStringLiteral("In&fo..."));
    menus.addMenu(2, QStringLiteral("A&yuda"));
    menus.addItem(2, 20, QStringLiteral("&Acerca de KvrMan..."));
    std::vector<int> chosen;
    QObject::connect(&menus, &Menus::triggered, [&](int id) { chosen.push_back(id); });
    bool opened = false;
    interaction.windowRunHook = [&](Window &) {
        QApplication::setActiveWindow(&window);
        QTest::keyClick(&window, Qt::Key_L, Qt::AltModifier);
        opened = menus.menu(1)->isVisible();
        QTest::keyClick(menus.menu(1), Qt::Key_F);
        QTest::keyClick(&window, Qt::Key_Y, Qt::AltModifier);
        QTest::keyClick(menus.menu(2), Qt::Key_A);
        window.close();
    };
    window.run();
    EXPECT_TRUE(opened);
    EXPECT_EQ(chosen, (std::vector<int>{11, 20}));
}

TEST_F(WindowTest, EnterPressesTheButtonThatHasTheFocus) {
    ScriptedWindow window("SETUP$WINDOW", interaction, log, false);
    auto *first = new QPushButton(QStringLiteral("One"), window.client());
    auto *second = new QPushButton(QStringLiteral("Two"), window.client());
    QSignalSpy firstClicks(first, &QPushButton::clicked);
    QSignalSpy secondClicks(second, &QPushButton::clicked);
    interaction.windowRunHook = [&](Window &) {
        QApplication::setActiveWindow(&window);
        second->setFocus();
        QTest::keyClick(second, Qt::Key_Return);
        QTest::keyClick(second, Qt::Key_Enter, Qt::KeypadModifier);
        window.close();
    };
    window.run();
    EXPECT_EQ(firstClicks.count(), 0);
    EXPECT_EQ(secondClicks.count(), 2);
}

TEST(WaitCursor, ShowsWhileAGuardLivesAndNests) {
    EXPECT_FALSE(WaitCursor::active());
    {
        WaitCursor outer;
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        {
            WaitCursor inner;
            EXPECT_TRUE(WaitCursor::active());
        }
        EXPECT_TRUE(WaitCursor::active());
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_FALSE(WaitCursor::active());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace kvr::runtime::qt
