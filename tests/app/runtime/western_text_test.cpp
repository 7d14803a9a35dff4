#include "runtime/qt/entry_field.h"
#include "runtime/qt/western_text.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QKeyEvent>
#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace kvr::runtime::qt {
namespace {

// Types text as the operator would, characters outside ASCII included.
void type(QWidget *widget, const QString &text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
}

TEST(WesternText, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
    const QString text = fromWestern(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(toWestern(text), std::optional<std::string>(all));
}

TEST(WesternText, BytesAreTheCharactersOfTheCodePage) {
    const std::pair<unsigned char, char16_t> cases[] = {
        {0x41, u'A'},      {0x80, u'\u20AC'}, {0x8A, u'\u0160'}, {0x99, u'\u2122'}, {0x9F, u'\u0178'},
        {0xA0, u'\u00A0'}, {0xD1, u'\u00D1'}, {0xE9, u'\u00E9'}, {0xFF, u'\u00FF'}, {0x81, u'\u0081'},
    };
    for (const auto &[byte, code] : cases) {
        SCOPED_TRACE(int(byte));
        const std::string bytes(1, static_cast<char>(byte));
        EXPECT_EQ(fromWestern(bytes), QString(QChar(code)));
        EXPECT_EQ(toWestern(QString(QChar(code))), std::optional<std::string>(bytes));
    }
    EXPECT_EQ(toWestern(QStringLiteral("Número")), std::optional<std::string>("N\xFAmero"));
}

TEST(WesternText, CharactersOutsideTheCodePageAreReported) {
    for (const QString &text : {QStringLiteral("\u03A9"), QStringLiteral("a\u4E2Db"), QStringLiteral("\u0080")}) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_FALSE(toWestern(text).has_value());
        EXPECT_FALSE(isWestern(text));
    }
    EXPECT_EQ(toWesternLossy(QStringLiteral("a\u03A9b")), "a?b");
    EXPECT_TRUE(isWestern(QStringLiteral("Información del Lector \u20AC")));
}

TEST(EntryField, ReportsEveryKeystrokeAndKeepsItsMaximumLength) {
    EntryField field(4);
    QSignalSpy edited(&field, &QLineEdit::textEdited);
    type(&field, QStringLiteral("ABCDEF"));
    EXPECT_EQ(field.text(), QStringLiteral("ABCD"));
    EXPECT_EQ(edited.count(), 4);
    EXPECT_EQ(edited.last().at(0).toString(), QStringLiteral("ABCD"));
}

TEST(EntryField, UpperCaseEntry) {
    EntryField field(10);
    field.setUpperCase(true);
    type(&field, QStringLiteral("a0f\u00e9\u00b5"));
    // Micro sign has no capital in the code page and stays as typed.
    EXPECT_EQ(field.text(), QStringLiteral("A0F\u00c9\u00b5"));

    EntryField plain(10);
    plain.setText(QStringLiteral("ab"));
    type(&plain, QStringLiteral("cd"));
    EXPECT_EQ(plain.text(), QStringLiteral("abcd"));
    plain.setUpperCase(true);
    EXPECT_EQ(plain.text(), QStringLiteral("ABCD"));
}

TEST(EntryField, UpperCaseAppliesToWhatTheOperatorEntersNotToWhatTheProgramSets) {
    EntryField field(10);
    field.setUpperCase(true);
    // Text set by the program (a stored value, say) is shown as it is.
    field.setText(QStringLiteral("a4"));
    EXPECT_EQ(field.text(), QStringLiteral("a4"));
    field.clear();
    type(&field, QStringLiteral("b0"));
    EXPECT_EQ(field.text(), QStringLiteral("B0"));
    // Pasting is entry by the operator too.
    QGuiApplication::clipboard()->setText(QStringLiteral("c1"));
    field.pasteAsEntered();
    EXPECT_EQ(field.text(), QStringLiteral("B0C1"));
}

// Every way the operator can enter text into a field.
struct EntryRoute {
    const char *name;
    std::function<void(EntryField &, const QString &)> enter;
};

void pasteFromContextMenu(EntryField &field, const QString &text) {
    QGuiApplication::clipboard()->setText(text);
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(2, 2), field.mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(&field, &event);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr) << "the context menu opens";
    QAction *paste = nullptr;
    for (QAction *action : menu->actions())
        if (action->text().startsWith("&Paste")) paste = action;
    ASSERT_NE(paste, nullptr);
    menu->close();
    paste->trigger();
}

std::vector<EntryRoute> entryRoutes() {
    std::vector<EntryRoute> routes = {
        {"typed", [](EntryField &f, const QString &t) { type(&f, t); }},
        {"Ctrl+V",
         [](EntryField &f, const QString &t) {
             QGuiApplication::clipboard()->setText(t);
             QTest::keyClick(&f, Qt::Key_V, Qt::ControlModifier);
         }},
        {"Edit menu",
         [](EntryField &f, const QString &t) {
             QGuiApplication::clipboard()->setText(t);
             f.pasteAsEntered();
         }},
        {"context menu", pasteFromContextMenu},
        {"drop",
         [](EntryField &f, const QString &t) {
             QMimeData data;
             data.setText(t);
             const QPoint at(f.width() - 2, 2);
             QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
             QApplication::sendEvent(&f, &enter);
             QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
             QApplication::sendEvent(&f, &drop);
         }},
    };
    if (QGuiApplication::clipboard()->supportsSelection()) {
        routes.push_back({"middle button", [](EntryField &f, const QString &t) {
                              QGuiApplication::clipboard()->setText(t, QClipboard::Selection);
                              QTest::mouseClick(&f, Qt::MiddleButton, Qt::NoModifier, QPoint(2, 2));
                          }});
    }
    return routes;
}

TEST(EntryField, EveryWayOfEnteringTextFollowsTheUpperCaseRule) {
    for (const EntryRoute &route : entryRoutes()) {
        SCOPED_TRACE(route.name);
        EntryField upper(10);
        upper.setUpperCase(true);
        upper.show();
        route.enter(upper, QStringLiteral("ab\u00e9"));
        EXPECT_EQ(upper.text(), QStringLiteral("AB\u00c9"));
        EntryField plain(10);
        plain.show();
        route.enter(plain, QStringLiteral("ab"));
        EXPECT_EQ(plain.text(), QStringLiteral("ab"));
    }
}

TEST(EntryField, RefusesCharactersOutsideTheCodePage) {
    EntryField field(10);
    QSignalSpy refused(&field, &EntryField::refused);
    type(&field, QStringLiteral("a\u03A9b"));
    EXPECT_EQ(field.text(), QStringLiteral("ab"));
    EXPECT_EQ(refused.count(), 1);
}

TEST(EntryField, ReadOnlyFieldsTakeNoTyping) {
    EntryField field(10);
    field.setText(QStringLiteral("90"));
    field.setReadOnly(true);
    QSignalSpy edited(&field, &QLineEdit::textEdited);
    type(&field, QStringLiteral("12"));
    QTest::keyClick(&field, Qt::Key_Backspace);
    EXPECT_EQ(field.text(), QStringLiteral("90"));
    EXPECT_EQ(edited.count(), 0);
}

}  // namespace
}  // namespace kvr::runtime::qt
