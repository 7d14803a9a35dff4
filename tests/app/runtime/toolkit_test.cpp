// The runtime's interface as the Qt toolkit keeps it: windows and controls
// made through the interface alone, checked on the widgets behind them.
#include "runtime/qt/toolkit.h"
#include "runtime/qt/units.h"
#include "runtime/qt/window.h"
#include "runtime/toolkit.h"
#include "runtime/window.h"
#include "scripted_interaction.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kvr::runtime {
namespace {

// Events that a test sees, and a window made by the interaction's toolkit.
class Recorded : public WindowEvents {
public:
    explicit Recorded(UserInteraction &interaction, WindowDefinition definition = {.name = "TEST$WINDOW",
                                                                                   .title = "Prueba",
                                                                                   .fontFace = "Fixedsys",
                                                                                   .clientSize = {200, 100}})
        : window(interaction.toolkit().makeWindow(definition, interaction, *this)) {}

    void opened() override { log.push_back("opened"); }
    bool closeRequested() override {
        log.push_back(refuseClose ? "refuses" : "agrees");
        return !refuseClose;
    }
    void closing() override { log.push_back("closing"); }

    std::unique_ptr<Window> window;
    std::vector<std::string> log;
    bool refuseClose = false;
};

QWidget &widgetNamed(Window &window, const char *name) {
    auto *widget = qt::qtWindow(window).client()->findChild<QWidget *>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget ? *widget : *qt::qtWindow(window).client();
}

TEST(Toolkit, EveryControlLandsAtThePixelRectangleOfItsDialogUnits) {
    test_support::ScriptedInteraction interaction;
    Recorded made(interaction);
    Window &w = *made.window;
    const struct {
        const char *name;
        Rect place;
        std::function<void(const Rect &)> add;
    } rows[] = {
        {"label", {5, 7, 60, 10}, [&](const Rect &r) { w.addLabel({.name = "label", .text = "Modelo:", .place = r}); }},
        {"button", {93, 79, 75, 14}, [&](const Rect &r) { w.addButton({.name = "button", .text = "OK", .place = r}); }},
        {"entry",
         {57, 33, 124, 10},
         [&](const Rect &r) { w.addEntryField({.name = "entry", .place = r, .maxLength = 30}); }},
        {"number",
         {57, 45, 56, 10},
         [&](const Rect &r) { w.addNumberField({.name = "number", .place = r, .positions = 13}); }},
        {"group",
         {2, 60, 90, 30},
         [&](const Rect &r) { w.addGroupBox({.name = "group", .text = "Datos", .place = r}); }},
        {"icon", {74, 2, 14, 14}, [&](const Rect &r) { w.addIcon({.name = "icon", .place = r}); }},
    };
    const qt::DialogUnits units(qt::windowFont("Fixedsys"));
    EXPECT_EQ(qt::qtWindow(w).client()->sizeHint(), units.toPixels(QSize(200, 100)));
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        row.add(row.place);
        const Rect pixels = w.units().toPixels(row.place);
        EXPECT_EQ(widgetNamed(w, row.name).geometry(), QRect(pixels.x, pixels.y, pixels.width, pixels.height));
        EXPECT_EQ(widgetNamed(w, row.name).geometry(), units.toPixels(qt::toQt(row.place)));
    }
}

TEST(Toolkit, AnEntryFieldReportsEachChangeOnceWithTheTextItNowHolds) {
    const struct {
        const char *what;
        bool upperCase;
        std::function<void(QLineEdit &, EntryField &)> act;
        std::vector<std::string> reported;
    } rows[] = {
        {"each key typed", false, [](QLineEdit &f, EntryField &) { QTest::keyClicks(&f, "a1b"); }, {"a", "a1", "a1b"}},
        {"typed in upper case", true, [](QLineEdit &f, EntryField &) { QTest::keyClicks(&f, "ab"); }, {"A", "AB"}},
        {"a key outside the code page",
         false,
         [](QLineEdit &f, EntryField &) {
             QTest::keyClicks(&f, "a");
             QKeyEvent omega(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8("Ω"));
             QApplication::sendEvent(&f, &omega);
         },
         {"a"}},
        {"Backspace",
         false,
         [](QLineEdit &f, EntryField &) {
             QTest::keyClicks(&f, "ab");
             QTest::keyClick(&f, Qt::Key_Backspace);
         },
         {"a", "ab", "a"}},
        {"the program's text", false, [](QLineEdit &, EntryField &e) { e.setText("Núm"); }, {"Núm"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        test_support::ScriptedInteraction interaction;
        Recorded made(interaction);
        EntryField &entry = made.window->addEntryField(
            {.name = "entry", .place = {4, 4, 100, 10}, .maxLength = 10, .upperCase = row.upperCase});
        std::vector<std::string> reported;
        entry.onChanged([&](const std::string &text) { reported.push_back(text); });
        interaction.windowRunHook = [&](qt::Window &w) {
            QApplication::setActiveWindow(&w);
            auto &field = static_cast<QLineEdit &>(widgetNamed(*made.window, "entry"));
            field.setFocus();
            row.act(field, entry);
            w.close();
        };
        made.window->run();
        EXPECT_EQ(reported, row.reported);
        EXPECT_EQ(entry.text(), row.reported.back());
    }
}

TEST(Toolkit, AButtonPressedCallsItsHandlerOnceAndTheWindowClosesOnlyWhenItsEventsAgree) {
    test_support::ScriptedInteraction interaction;
    Recorded made(interaction);
    Button &close = made.window->addButton({.name = "close", .text = "&Cerrar", .place = {4, 4, 45, 14}});
    int presses = 0;
    close.onPressed([&] {
        ++presses;
        made.window->requestClose();
    });
    made.refuseClose = true;
    interaction.windowRunHook = [&](qt::Window &w) {
        QApplication::setActiveWindow(&w);
        EXPECT_TRUE(made.window->isRunning());
        auto &button = static_cast<QPushButton &>(widgetNamed(*made.window, "close"));
        QTest::mouseClick(&button, Qt::LeftButton);
        EXPECT_TRUE(w.isVisible());
        made.refuseClose = false;
        button.setFocus();
        QTest::keyClick(&button, Qt::Key_Return);
    };
    made.window->run();
    EXPECT_FALSE(made.window->isRunning());
    EXPECT_EQ(presses, 2);
    EXPECT_EQ(made.log, (std::vector<std::string>{"opened", "refuses", "agrees", "closing"}));
}

TEST(Toolkit, ALabelThatCutsItsMiddleKeepsTheWholeTextAsItsTip) {
    test_support::ScriptedInteraction interaction;
    Recorded made(interaction);
    const std::string whole = "Biblioteca: /home/operador/datos/biblioteca/de/comandos/COMMANDS.tps";
    Label &label = made.window->addLabel(
        {.name = "place", .text = whole, .place = {12, 36, 138, 9}, .align = Align::Center, .elideMiddle = true});
    auto &shown = static_cast<QLabel &>(widgetNamed(*made.window, "place"));
    EXPECT_EQ(label.text(), whole);
    EXPECT_EQ(shown.toolTip().toStdString(), whole);
    EXPECT_NE(shown.text().toStdString(), whole);
    EXPECT_TRUE(shown.text().startsWith("Bibl")) << shown.text().toStdString();
    EXPECT_TRUE(shown.text().endsWith(".tps")) << shown.text().toStdString();
    EXPECT_TRUE(shown.text().contains(QChar(0x2026)));
    EXPECT_LE(shown.fontMetrics().horizontalAdvance(shown.text()), shown.width());
}

}  // namespace
}  // namespace kvr::runtime
