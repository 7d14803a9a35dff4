#include "runtime/entry_field.h"
#include "runtime/western_text.h"

#include <QApplication>
#include <QKeyEvent>
#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace kvr::runtime {
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
        {0x41, u'A'}, {0x80, u'\u20AC'}, {0x8A, u'\u0160'}, {0x99, u'\u2122'}, {0x9F, u'\u0178'},
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
}  // namespace kvr::runtime
