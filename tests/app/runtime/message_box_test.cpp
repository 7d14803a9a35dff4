#include "runtime/message_box.h"
#include "runtime/qt/screen_interaction.h"
#include "runtime/wait_cursor.h"
#include "scripted_interaction.h"
#include "when_shown.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

namespace kvr::runtime::qt {
namespace {

// Runs `operate` on the real box as the first event of its own modal loop
// (the box is shown by then), then returns what the box returned.
int runBox(const MessageBoxRequest &request, const std::function<void(QDialog &)> &operate) {
    test_support::WhenShown<QDialog> driver(operate);
    ScreenInteraction screen;
    const int result = showMessageBox(screen, request);
    EXPECT_TRUE(driver.ran()) << "the box was not shown";
    return result;
}

std::vector<QString> buttonTexts(const QDialog &box) {
    std::vector<QString> texts;
    for (const QPushButton *button : box.findChildren<QPushButton *>()) texts.push_back(button->text());
    return texts;
}

QPushButton *button(QDialog &box, MessageButton which) {
    return box.findChild<QPushButton *>(QStringLiteral("button%1").arg(int(which)));
}

TEST(MessageBox, ShowsTheArrowUnderAWaitCursorAndGivesTheWaitCursorBack) {
    WaitCursor wait;
    Qt::CursorShape shown = Qt::WaitCursor;
    runBox({"Text", "AVISO", MessageIcon::Exclamation, ButtonOk, ButtonOk}, [&](QDialog &box) {
        shown = QApplication::overrideCursor()->shape();
        QTest::keyClick(&box, Qt::Key_Return);
    });
    EXPECT_EQ(shown, Qt::ArrowCursor);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
}

TEST(MessageBox, KeysPressTheDefaultButtonOrCancel) {
    struct Case {
        int buttons, defaultButton;
        Qt::Key key;
        int expected;
    };
    const Case cases[] = {
        {ButtonYes | ButtonNo, ButtonYes, Qt::Key_Return, ButtonYes},
        {ButtonYes | ButtonNo, ButtonNo, Qt::Key_Return, ButtonNo},
        {ButtonYes | ButtonNo | ButtonCancel, ButtonNo, Qt::Key_Enter, ButtonNo},
        {ButtonOk | ButtonCancel, ButtonOk, Qt::Key_Escape, ButtonCancel},
        {ButtonYes | ButtonNo | ButtonCancel, ButtonYes, Qt::Key_Escape, ButtonCancel},
        {ButtonRetry | ButtonCancel, ButtonRetry, Qt::Key_Return, ButtonRetry},
        {ButtonAbort | ButtonRetry | ButtonIgnore, ButtonIgnore, Qt::Key_Return, ButtonIgnore},
        {ButtonOk, ButtonOk, Qt::Key_Return, ButtonOk},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "buttons " << c.buttons << " key " << c.key);
        const int result = runBox({"Text", "AVISO", MessageIcon::Question, c.buttons, c.defaultButton},
                                  [&](QDialog &box) { QTest::keyClick(&box, c.key); });
        EXPECT_EQ(result, c.expected);
    }
}

TEST(MessageBox, EscapeAndTheCloseControlDoNothingWithoutCancel) {
    bool stillShown = false;
    const int result = runBox(
        {"Ha transcurrido el tiempo", "AVISO", MessageIcon::Stop, ButtonYes | ButtonNo, ButtonYes}, [&](QDialog &box) {
            QTest::keyClick(&box, Qt::Key_Escape);
            box.close();
            stillShown = box.isVisible();
            button(box, ButtonNo)->click();
        });
    EXPECT_TRUE(stillShown);
    EXPECT_EQ(result, ButtonNo);
}

TEST(MessageBox, ShowsItsTextCaptionAndButtonsInOrder) {
    QString caption, text;
    std::vector<QString> texts;
    const int result = runBox(
        {"Record not found", "Warning", MessageIcon::Exclamation, ButtonCancel | ButtonRetry | ButtonOk, ButtonRetry},
        [&](QDialog &box) {
            caption = box.windowTitle();
            text = box.findChild<QLabel *>(QStringLiteral("messageText"))->text();
            texts = buttonTexts(box);
            QTest::mouseClick(button(box, ButtonOk), Qt::LeftButton);
        });
    EXPECT_EQ(result, ButtonOk);
    EXPECT_EQ(caption, QStringLiteral("Warning"));
    EXPECT_EQ(text, QStringLiteral("Record not found"));
    EXPECT_EQ(texts, (std::vector<QString>{"OK", "&Retry", "Cancel"}));
}

TEST(MessageBox, ABoxAlwaysHasAButtonToCloseIt) {
    struct Case {
        int buttons, defaultButton;
        std::vector<QString> texts;
        int enter;
    };
    const Case cases[] = {
        {0, 0, {"OK"}, ButtonOk},
        {0x100, ButtonYes, {"OK"}, ButtonOk},
        {ButtonYes | ButtonNo, ButtonOk, {"&Yes", "&No"}, ButtonYes},
        {ButtonRetry | ButtonCancel, ButtonRetry | ButtonCancel, {"&Retry", "Cancel"}, ButtonRetry},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.buttons);
        std::vector<QString> texts;
        const int result =
            runBox({"Text", "Caption", MessageIcon::None, c.buttons, c.defaultButton}, [&](QDialog &box) {
                texts = buttonTexts(box);
                QTest::keyClick(&box, Qt::Key_Return);
            });
        EXPECT_EQ(texts, c.texts);
        EXPECT_EQ(result, c.enter);
    }
}

TEST(MessageBox, TheAnswererStandsInForTheBox) {
    MessageBoxRequest seen;
    test_support::ScriptedInteraction interaction;
    interaction.answerer = [&](const MessageBoxRequest &request) {
        seen = request;
        return int(ButtonNo);
    };
    const int result = showMessageBox(
        interaction, {"¿Desea resetear el lector?", "AVISO", MessageIcon::Stop, ButtonYes | ButtonNo, ButtonYes});
    EXPECT_EQ(result, ButtonNo);
    EXPECT_EQ(seen.caption, "AVISO");
    EXPECT_EQ(seen.buttons, ButtonYes | ButtonNo);
    EXPECT_EQ(seen.defaultButton, ButtonYes);
    EXPECT_EQ(seen.icon, MessageIcon::Stop);
}

TEST(MessageBox, EndOfProgramShowsHaltAndEnds) {
    struct Ended {
        std::string text;
    };
    MessageBoxRequest seen;
    test_support::ScriptedInteraction interaction;
    interaction.answerer = [&](const MessageBoxRequest &request) {
        seen = request;
        return int(ButtonOk);
    };
    interaction.programEndHandler = [](const std::string &text) { throw Ended{text}; };
    std::string endedWith;
    try {
        endProgram(interaction, "File COMMANDS could not be opened");
    } catch (const Ended &ended) {
        endedWith = ended.text;
    }
    EXPECT_EQ(endedWith, "File COMMANDS could not be opened");
    EXPECT_EQ(seen.caption, "Halt");
    EXPECT_EQ(seen.icon, MessageIcon::Stop);
    EXPECT_EQ(seen.buttons, ButtonOk);
}

}  // namespace
}  // namespace kvr::runtime::qt
