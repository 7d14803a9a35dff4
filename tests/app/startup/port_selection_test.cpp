#include "runtime/qt/units.h"
#include "runtime/qt/title_bar.h"
#include "runtime/qt/window.h"
#include "startup/port_selection.h"

#include "scripted_interaction.h"

#include <QApplication>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace kvr::startup {
namespace {

using runtime::qt::Window;

// Runs the port-selection window with `operate` as the first event of its
// own loop; returns the port chosen.
std::string selectWith(const std::function<void(Window &)> &operate) {
    test_support::ScriptedInteraction interaction;
    interaction.windowRunHook = [&](Window &window) {
        QApplication::setActiveWindow(&window);
        operate(window);
    };
    return selectPort(interaction);
}

QPushButton *buttonOf(Window &window, const char *text) {
    return window.findChild<QPushButton *>(QString::fromLatin1(text));
}

TEST(PortSelection, IsLaidOutAsDefined) {
    selectWith([](Window &window) {
        EXPECT_EQ(window.name(), "SETUPCOM$WINDOW");
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Setup IFD Handler"));
        const runtime::qt::DialogUnits units(runtime::qt::windowFont("MS Sans Serif", 8));
        // As high as designed; at least as wide, and wide enough for the
        // title bar to show the whole title.
        EXPECT_EQ(window.client()->height(), units.toPixelsY(69));
        EXPECT_GE(window.client()->width(), units.toPixelsX(81));
        const QStyleOptionTitleBar bar =
            runtime::qt::titleBarOption(window.windowTitle(), window.frameGeometry().width(), *window.style());
        const QRect label = window.style()->subControlRect(QStyle::CC_TitleBar, &bar, QStyle::SC_TitleBarLabel);
        EXPECT_GE(label.width(), bar.fontMetrics.horizontalAdvance(window.windowTitle()));
        EXPECT_EQ(bar.fontMetrics.elidedText(window.windowTitle(), Qt::ElideRight, label.width()),
                  window.windowTitle());
        EXPECT_FALSE(window.isResizable());
        const std::pair<const char *, int> tops[] = {{"Com1", 4}, {"Com2", 20}, {"Com3", 36}, {"Com4", 52}};
        for (const auto &[text, top] : tops) {
            QPushButton *button = buttonOf(window, text);
            ASSERT_NE(button, nullptr) << text;
            EXPECT_EQ(button->text(), QString::fromLatin1(text));
            EXPECT_EQ(button->size(), units.toPixels(QSize(72, 15))) << text;
            EXPECT_EQ(button->y(), units.toPixelsY(top)) << text;
            // In the middle of the window.
            EXPECT_LE(std::abs(button->geometry().center().x() - window.client()->rect().center().x()),
                      units.toPixelsX(1))
                << text;
        }
        window.close();
    });
}

TEST(PortSelection, FocusStartsOnCom2AndFollowsTheControlOrder) {
    std::vector<QString> order;
    selectWith([&](Window &window) {
        for (int i = 0; i < 5; ++i) {
            QWidget *focus = QApplication::focusWidget();
            order.push_back(focus ? focus->objectName() : QString());
            QTest::keyClick(focus ? focus : &window, Qt::Key_Tab);
        }
        window.close();
    });
    EXPECT_EQ(order, (std::vector<QString>{"Com2", "Com3", "Com4", "Com1", "Com2"}));
}

TEST(PortSelection, EachButtonSetsItsPortAndCloses) {
    for (const auto &[text, port] :
         {std::pair{"Com1", "COM1"}, std::pair{"Com2", "COM2"}, std::pair{"Com3", "COM3"}, std::pair{"Com4", "COM4"}}) {
        bool stillShown = true;
        const std::string chosen = selectWith([&, text = text](Window &window) {
            QTest::mouseClick(buttonOf(window, text), Qt::LeftButton);
            stillShown = window.isVisible();
        });
        EXPECT_EQ(chosen, port);
        EXPECT_FALSE(stillShown);
    }
}

TEST(PortSelection, EnterPressesTheFocusedButton) {
    EXPECT_EQ(selectWith([](Window &) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); }), "COM2");
    EXPECT_EQ(selectWith([](Window &) {
                  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
              }),
              "COM3");
}

TEST(PortSelection, ClosingWithoutAChoiceGivesNoPort) {
    EXPECT_EQ(selectWith([](Window &window) { window.close(); }), "");
}

}  // namespace
}  // namespace kvr::startup
