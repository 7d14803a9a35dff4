// The main window against the reader emulator over RFC 2217: the road of
// one command, the reply display, the status messages, the silent-reader
// question, the menus adjusted to the identified reader, and the window's
// place.
#include "window_test_support.h"

#include "command_files.h"
#include "network_test_support.h"
#include "console/main_menu.h"
#include "session/hex_codec.h"
#include "session/status_message.h"
#include "runtime/qt/units.h"
#include "runtime/file_dialog.h"
#include "runtime/qt/menus.h"
#include "runtime/qt/page_list.h"
#include "runtime/message_box.h"
#include "runtime/profile.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QAction>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <kvr7x.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iterator>
#include <vector>

namespace kvr::console::testing {

using namespace session;
namespace {

using Clock = std::chrono::steady_clock;

QString hexOf(const std::vector<uint8_t> &bytes) {
    QString text;
    for (uint8_t b : bytes) text += QString("%1 ").arg(b, 2, 16, QChar('0')).toUpper();
    return text.trimmed();
}

std::vector<uint8_t> cardFile(uint16_t id) {
    const kvr7x::emu::IsoCard card;
    for (const auto &file : card.files())
        if (file.id == id) return file.contents;
    ADD_FAILURE() << "the emulated card has no file " << id;
    return {};
}

// Whether a field shows its first character: the text is longer than the
// field and the field is scrolled to its start.
bool shownFromTheStart(QLineEdit *f) {
    if (f->fontMetrics().horizontalAdvance(f->text()) <= f->width()) {
        ADD_FAILURE() << "the text fits the field";
        return false;
    }
    (void)f->grab();  // the field scrolls when it is painted
    const QRect cursor = f->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    return f->cursorPosition() == 0 && cursor.left() < f->width() / 4;
}

// The bytes a hex view text stands for.
std::string parseBytes(const QString &hexText) { return parseHexView(hexText.toStdString()); }

// The next widget the Tab key reaches.
QWidget *nextTabStop(QWidget *from) {
    QWidget *w = from->nextInFocusChain();
    while (w != from && !(w->focusPolicy() & Qt::TabFocus)) w = w->nextInFocusChain();
    return w;
}

struct PreparedItem {
    const char *item;
    const char *header;  // CODE CLA INS P1 P2 P3
};

class MainWindowTest : public ConsoleWindowTest {
protected:
    static void checkPrepared(runtime::qt::Window &w, const std::vector<PreparedItem> &items) {
        for (const PreparedItem &p : items) {
            choose(w, p.item);
            QString header;
            for (const char *name : {"CODE", "CLA", "INS", "P1", "P2", "P3"}) header += text(w, name);
            EXPECT_EQ(header, p.header) << p.item;
            EXPECT_EQ(QApplication::focusWidget(), w.findChild<QPushButton *>("send")) << p.item;
        }
    }
};

TEST_F(MainWindowTest, RoadOfOneCommand) {
    startReader();
    const std::vector<uint8_t> label = cardFile(0x2F00);
    ASSERT_FALSE(label.empty());
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        EXPECT_EQ(w.windowTitle(), "VEXA KVR Manager V3.01");
        EXPECT_EQ(QApplication::focusWidget(), field(w, "CODE")) << "first focus on CODE";

        // Activate the card: the reply is its answer-to-reset.
        choose(w, "reader.activate.async");
        EXPECT_EQ(QApplication::focusWidget(), w.findChild<QPushButton *>("send"));
        EXPECT_EQ(text(w, "CODE") + text(w, "INS") + text(w, "P2"), "208000");
        clickSend(w);
        EXPECT_EQ(w.statusText(), "Comando procesado correctamente");
        EXPECT_EQ(text(w, "STAT"), "00");
        EXPECT_EQ(text(w, "SW1"), "90");
        EXPECT_FALSE(text(w, "replyHex").isEmpty());

        // Select the label file with an ISO In command typed in hex (P2 0C:
        // no file information wanted, so the card answers 9000 at once);
        // lower-case digits become upper case as they are typed.
        choose(w, "card.isoIn");
        EXPECT_EQ(text(w, "CODE"), "A1");
        EXPECT_TRUE(text(w, "replyHex").isEmpty()) << "preparing blanks the reply";
        type(w, "CLA", "00");
        type(w, "INS", "a4");
        type(w, "P1", "00");
        type(w, "P2", "0c");
        type(w, "requestHex", "2f00");
        EXPECT_EQ(text(w, "INS"), "A4");
        EXPECT_EQ(text(w, "requestHex"), "2F00");
        EXPECT_EQ(text(w, "P3"), "02");
        EXPECT_EQ(text(w, "requestBytes"), QString(QChar(0x2F)) + QChar(0x00));
        clickSend(w);
        EXPECT_EQ(w.statusText(), "Comando procesado correctamente");
        EXPECT_EQ(text(w, "STAT") + text(w, "SW1") + text(w, "SW2"), "009000");

        // Read it with ISO Out; the reply is shown in hex and as characters.
        choose(w, "card.isoOut");
        type(w, "CLA", "00");
        type(w, "INS", "B0");
        type(w, "P1", "00");
        type(w, "P2", "00");
        type(w, "P3", QString("%1").arg(label.size(), 2, 16, QChar('0')).toUpper());
        clickSend(w);
        EXPECT_EQ(text(w, "STAT") + text(w, "SW1") + text(w, "SW2"), "009000");
        EXPECT_EQ(text(w, "LEN"), QString("%1").arg(label.size(), 2, 16, QChar('0')).toUpper());
        EXPECT_EQ(text(w, "replyHex"), hexOf(label));
        QString characters;
        for (uint8_t b : label) characters += b == 0 ? QChar(0xFF) : QChar(b);
        EXPECT_EQ(text(w, "replyBytes"), characters);
        // The request stays as it was and can be sent again at once.
        EXPECT_EQ(text(w, "INS"), "B0");
        clickSend(w);
        EXPECT_EQ(text(w, "replyHex"), hexOf(label));
    });
}

TEST_F(MainWindowTest, WhatTheReaderReceivesAndZeroReplyBytes) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        // Right after opening every header field is blank and sends 0x00.
        emulator->log().clear();
        clickSend(w);
        EXPECT_EQ(lastFrame(*emulator), std::vector<uint8_t>(6, 0x00));

        // ISO In with P3 00: all 256 bytes of the transfer buffer go out,
        // the data entered followed by spaces.
        choose(w, "card.isoIn");
        type(w, "requestHex", "3F00");
        type(w, "P3", "00");
        emulator->log().clear();
        clickSend(w);
        std::vector<uint8_t> expected(6 + 256, 0x20);
        const uint8_t header[] = {0xA1, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x00};
        std::copy(std::begin(header), std::end(header), expected.begin());
        EXPECT_EQ(lastFrame(*emulator), expected);

        // A zero reply byte is 00 in the hex view and 0xFF as a character.
        choose(w, "reader.activate.async");
        clickSend(w);
        choose(w, "card.isoIn");
        type(w, "INS", "A4");
        type(w, "P2", "0C");
        type(w, "requestHex", "6F01");
        clickSend(w);
        ASSERT_EQ(text(w, "SW1") + text(w, "SW2"), "9000");
        choose(w, "card.isoOut");
        type(w, "INS", "B0");
        type(w, "P3", "04");
        clickSend(w);
        const std::vector<uint8_t> contents = cardFile(0x6F01);
        ASSERT_GE(contents.size(), 4u);
        const std::vector<uint8_t> first(contents.begin(), contents.begin() + 4);
        EXPECT_EQ(text(w, "replyHex"), hexOf(first));
        QString characters;
        for (uint8_t b : first) characters += b == 0 ? QChar(0xFF) : QChar(b);
        EXPECT_EQ(text(w, "replyBytes"), characters);
        EXPECT_EQ(first[0], 0x00) << "the file is expected to start with a zero byte";

        // A long reply is shown whole, from its first byte.
        type(w, "P3", "FF");
        clickSend(w);
        ASSERT_EQ(text(w, "LEN"), "FF");
        EXPECT_EQ(parseBytes(text(w, "replyHex")).size(), 255u);
        EXPECT_TRUE(shownFromTheStart(field(w, "replyHex")));
        EXPECT_TRUE(shownFromTheStart(field(w, "replyBytes")));
    });
}

TEST_F(MainWindowTest, MenusAnswerTheirAccessLetters) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        // Alt+T opens "&Tarjeta", I chooses "Comando ISO &In".
        QTest::keyClick(&w, Qt::Key_T, Qt::AltModifier);
        QWidget *popup = QApplication::activePopupWidget();
        ASSERT_NE(popup, nullptr) << "Alt+T opens the menu";
        QTest::keyClick(popup, Qt::Key_I);
        EXPECT_TRUE(eventually([&] { return text(w, "CODE") == "A1"; })) << text(w, "CODE").toStdString();
        // Alt+L, R: "&Lector" "&Reset".
        QTest::keyClick(&w, Qt::Key_L, Qt::AltModifier);
        popup = QApplication::activePopupWidget();
        ASSERT_NE(popup, nullptr);
        QTest::keyClick(popup, Qt::Key_R);
        EXPECT_TRUE(eventually([&] { return w.statusText() == "0"; })) << w.statusText().toStdString();
        EXPECT_EQ(text(w, "SW1"), "90");
    });
}

TEST_F(MainWindowTest, TypingInTheByteViewAndRefusedCharacters) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "card.isoIn");
        type(w, "requestBytes", "ABC");
        EXPECT_EQ(text(w, "requestHex"), "41 42 43");
        EXPECT_EQ(text(w, "P3"), "03");
        // A character the Western code page cannot hold is refused.
        type(w, "requestBytes", QString(QChar(0x03A9)), true);
        EXPECT_EQ(text(w, "requestBytes"), "ABC");
        type(w, "requestBytes", QString(QChar(0x20AC)), true);  // the euro sign is 0x80
        EXPECT_EQ(text(w, "requestHex"), "41 42 43 80");
        EXPECT_EQ(text(w, "P3"), "04");
        // Back in the hex view, the hex view is the source again.
        type(w, "requestHex", " 44", true);
        EXPECT_EQ(text(w, "requestBytes"), QString("ABC") + QChar(0x20AC) + "D");
        EXPECT_EQ(text(w, "P3"), "05");
    });
}

TEST_F(MainWindowTest, TheHexViewHoldsEveryByteOfTheByteView) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "card.isoIn");
        // 100 characters typed in DATOS survive an edit of the hex view.
        type(w, "requestBytes", QString(100, 'Z'));
        EXPECT_EQ(text(w, "P3"), "64");
        type(w, "requestHex", " 41", true);
        EXPECT_EQ(text(w, "requestBytes"), QString(100, 'Z') + "A");
        EXPECT_EQ(text(w, "P3"), "65");
        // All 255 bytes fit; a 256th typed in the hex view is refused with
        // the beep, not cut.
        type(w, "requestBytes", QString(255, 'Z'));
        EXPECT_EQ(text(w, "P3"), "FF");
        QSignalSpy refused(field(w, "requestHex"), SIGNAL(refused()));
        type(w, "requestHex", "4", true);
        EXPECT_EQ(refused.count(), 1);
        EXPECT_EQ(text(w, "requestBytes"), QString(255, 'Z'));
        EXPECT_EQ(text(w, "P3"), "FF");
        EXPECT_EQ(parseBytes(text(w, "requestHex")).size(), 255u);
    });
}

TEST_F(MainWindowTest, CutAndPasteThroughTheEditMenuKeepTheViewsInStep) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "card.isoIn");
        type(w, "requestHex", "0102");
        QLineEdit *hex = field(w, "requestHex");
        hex->selectAll();
        choose(w, "edit.cut");
        EXPECT_EQ(text(w, "requestHex"), "");
        EXPECT_EQ(text(w, "P3"), "00");
        choose(w, "edit.paste");
        EXPECT_EQ(text(w, "requestHex"), "0102");
        EXPECT_EQ(text(w, "P3"), "02");
        hex->setCursorPosition(0);
        choose(w, "edit.delete");
        EXPECT_EQ(text(w, "requestHex"), "102");
        EXPECT_EQ(text(w, "P3"), "02");
        EXPECT_EQ(text(w, "requestBytes"), QString(QChar(0x10)) + QChar(0x20));
    });
}

// Opens "&Edición" with Alt+E from the field that has the focus and
// chooses an item by its access letter, as an operator at the keyboard.
void editMenuByKeys(QWidget *focused, Qt::Key letter) {
    QTest::keyClick(focused, Qt::Key_E, Qt::AltModifier);
    QWidget *popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr) << "Alt+E opens the menu";
    QTest::keyClick(popup, letter);
    EXPECT_TRUE(eventually([] { return QApplication::activePopupWidget() == nullptr; }));
}

TEST_F(MainWindowTest, EditMenuFromTheKeyboardActsOnTheFieldAndItsSelection) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "card.isoIn");
        type(w, "requestHex", "0102");
        QLineEdit *hex = field(w, "requestHex");
        hex->setSelection(0, 2);
        editMenuByKeys(hex, Qt::Key_T);  // Cor&tar
        EXPECT_EQ(text(w, "requestHex"), "02");
        EXPECT_EQ(QApplication::clipboard()->text(), "01");
        EXPECT_EQ(text(w, "P3"), "01");
        EXPECT_EQ(QApplication::focusWidget(), hex) << "the focus comes back to the field";
        hex->end(false);
        editMenuByKeys(hex, Qt::Key_P);  // &Pegar
        EXPECT_EQ(text(w, "requestHex"), "0201");
        EXPECT_EQ(text(w, "P3"), "02");
        hex->setSelection(0, 2);
        editMenuByKeys(hex, Qt::Key_C);  // &Copiar
        EXPECT_EQ(QApplication::clipboard()->text(), "02");
        hex->setSelection(2, 2);
        editMenuByKeys(hex, Qt::Key_E);  // &Eliminar
        EXPECT_EQ(text(w, "requestHex"), "02");
        EXPECT_EQ(text(w, "P3"), "01");
        EXPECT_EQ(text(w, "requestBytes"), QString(QChar(0x02)));
    });
}

TEST_F(MainWindowTest, LowerCaseHexPastedFromTheContextMenuIsSentAsDigits) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "card.isoIn");
        QLineEdit *hex = field(w, "requestHex");
        hex->setFocus();
        QApplication::clipboard()->setText("abcd");
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(2, 2), hex->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(hex, &menuKey);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QAction *paste = nullptr;
        for (QAction *a : menu->actions())
            if (a->text().startsWith("&Paste")) paste = a;
        ASSERT_NE(paste, nullptr);
        menu->setActiveAction(paste);
        QTest::keyClick(menu, Qt::Key_Return);
        EXPECT_EQ(text(w, "requestHex"), "ABCD");
        EXPECT_EQ(text(w, "P3"), "02");
        emulator->log().clear();
        clickSend(w);
        const std::vector<uint8_t> frame = lastFrame(*emulator);
        ASSERT_GE(frame.size(), 8u);
        EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 6, frame.begin() + 8), std::vector<uint8_t>({0xAB, 0xCD}));
    });
}

TEST_F(MainWindowTest, EditingKeysAndItemsLeaveReadOnlyFieldsAlone) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "reader.status");
        choose(w, "reader.reset");
        ASSERT_EQ(text(w, "STAT"), "00");
        for (const char *name : {"CODE", "STAT", "replyHex"}) {
            QApplication::clipboard()->setText("77");
            QLineEdit *f = field(w, name);
            const QString before = f->text();
            ASSERT_FALSE(before.isEmpty()) << name;
            f->setFocus();
            QApplication::processEvents();
            // The keys: a read-only field leaves them to the menu's shortcuts.
            f->selectAll();
            QTest::keyClick(f, Qt::Key_V, Qt::ControlModifier);
            EXPECT_EQ(f->text(), before) << name << " Ctrl+V";
            f->selectAll();
            QTest::keyClick(f, Qt::Key_X, Qt::ControlModifier);
            EXPECT_EQ(f->text(), before) << name << " Ctrl+X";
            EXPECT_EQ(QApplication::clipboard()->text(), "77") << name << " Ctrl+X takes nothing";
            // The items themselves.
            QApplication::clipboard()->setText("77");
            f->selectAll();
            choose(w, "edit.paste");
            EXPECT_EQ(f->text(), before) << name << " Pegar";
            f->setCursorPosition(0);
            choose(w, "edit.delete");
            EXPECT_EQ(f->text(), before) << name << " Eliminar";
            f->selectAll();
            choose(w, "edit.cut");
            EXPECT_EQ(f->text(), before) << name << " Cortar";
            choose(w, "edit.copy");
            EXPECT_EQ(QApplication::clipboard()->text(), before) << name << " Copiar";
        }
        // What is sent is still the status request.
        emulator->log().clear();
        clickSend(w);
        EXPECT_EQ(lastFrame(*emulator), std::vector<uint8_t>({0x20, 0x00, 0x10, 0x00, 0x00, 0x00}));
    });
}

// The reader's network port goes away: the message is the driver's number,
// and the status bar's tip says what happened and what to do; once the
// server is back, Reset connects again.
TEST_F(MainWindowTest, AClosedNetworkPortIsExplainedInTheStatusBarsTip) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        const auto tip = [&w] { return w.findChild<QLabel *>("statusText")->toolTip(); };
        choose(w, "reader.status");
        clickSend(w);
        ASSERT_EQ(w.statusText(), "Comando procesado correctamente");
        EXPECT_EQ(tip(), "");
        emulator->stop();
        clickSend(w);
        EXPECT_EQ(w.statusText(), "Error desconocido " + QString::number(KVR7X_ERROR(KVR7X_ERR_CONNECTION_CLOSED)));
        EXPECT_EQ(tip(), QString::fromStdString(driverErrorMeaning(KVR7X_ERROR(KVR7X_ERR_CONNECTION_CLOSED))));
        EXPECT_TRUE(tip().contains("cerrado la conexión")) << tip().toStdString();
        kvr7x::emu::Config again;
        again.port = emulator->port();
        emulator = std::make_unique<kvr7x::emu::Emulator>(again);
        std::string error;
        ASSERT_TRUE(emulator->start(error)) << error;
        choose(w, "reader.reset");
        EXPECT_EQ(w.statusText(), "0");
        EXPECT_EQ(tip(), "");
        choose(w, "reader.status");
        clickSend(w);
        EXPECT_EQ(w.statusText(), "Comando procesado correctamente");
    });
}

TEST_F(MainWindowTest, UnknownStatusAndTheInsertTimeout) {
    kvr7x::emu::Config config;
    std::string error;
    ASSERT_TRUE(config.rules.parse("20 00 10 00 00 00 => 51 00 00\n", error)) << error;
    startReader(config);
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "reader.status");
        clickSend(w);
        EXPECT_EQ(w.statusText(), "Error desconocido 81");
        EXPECT_EQ(text(w, "STAT"), "51");
        EXPECT_EQ(text(w, "LEN"), "00");
        EXPECT_EQ(text(w, "replyHex") + text(w, "replyBytes"), "");

        // A reader that takes 4 s to answer: the status request gives up
        // after its 1000 ms (and 40 for the reply header), the insert
        // command waits for the answer.
        emulator->setLatency(std::chrono::milliseconds(4000));
        interaction.answerer = [](const runtime::MessageBoxRequest &) { return runtime::ButtonNo; };
        const size_t before = emulator->readerBytesSent();
        const auto start = Clock::now();
        clickSend(w);
        const auto statusTook = Clock::now() - start;
        EXPECT_EQ(w.statusText(), "El lector no responde (80000000 (hex))");
        EXPECT_GE(statusTook, std::chrono::milliseconds(950));
        EXPECT_LT(statusTook, std::chrono::milliseconds(2600));
        // The late answer has reached the driver before the next command.
        ASSERT_TRUE(eventually(
            [&] {
                return emulator->readerBytesSent() == before + 4 && kvr7x::test::loopbackBacklog(emulator->port()) == 0;
            },
            10000));

        choose(w, "reader.insert");
        clickSend(w);
        EXPECT_EQ(w.statusText(), "Comando procesado correctamente");
    });
}

TEST_F(MainWindowTest, SilentReaderAsksAndYesResetsTheReader) {
    startReader();
    std::vector<runtime::MessageBoxRequest> asked;
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "reader.status");
        emulator->setSilent(true);
        interaction.answerer = [&](const runtime::MessageBoxRequest &request) {
            asked.push_back(request);
            // The status bar already shows the message when the box asks.
            EXPECT_EQ(w.statusText(), "El lector no responde (80000000 (hex))");
            emulator->setSilent(false);
            return runtime::ButtonYes;
        };
        const auto start = Clock::now();
        clickSend(w);
        const auto took = Clock::now() - start;
        EXPECT_GE(took, std::chrono::milliseconds(950));
        EXPECT_LT(took, std::chrono::milliseconds(3000));
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].caption, "AVISO");
        EXPECT_EQ(asked[0].text,
                  "Ha transcurrido el tiempo límite de espera y el lector no ha respondido al "
                  "comando. ¿Desea resetear el lector?");
        EXPECT_EQ(asked[0].icon, runtime::MessageIcon::Stop);
        EXPECT_EQ(asked[0].buttons, runtime::ButtonYes | runtime::ButtonNo);
        EXPECT_EQ(asked[0].defaultButton, runtime::ButtonYes);
        // The reset runs after the current event: the reply shows the reset
        // answer, the status bar the result in decimal.
        ASSERT_TRUE(eventually([&] { return w.statusText() == "0"; })) << w.statusText().toStdString();
        EXPECT_EQ(text(w, "STAT") + text(w, "SW1") + text(w, "SW2"), "009000");
        const auto id = kvr7x::emu::defaultIdentification();
        EXPECT_EQ(text(w, "LEN"), QString("%1").arg(id.size(), 2, 16, QChar('0')).toUpper());
        EXPECT_EQ(text(w, "replyHex"), hexOf(id));
        // The request panel is untouched by the reset.
        EXPECT_EQ(text(w, "CODE") + text(w, "INS"), "2010");
    });
}

TEST_F(MainWindowTest, SilentReaderAnsweredNoChangesNothingMore) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "reader.status");
        emulator->setSilent(true);
        int asked = 0;
        interaction.answerer = [&](const runtime::MessageBoxRequest &) {
            ++asked;
            return runtime::ButtonNo;
        };
        clickSend(w);
        EXPECT_EQ(asked, 1);
        // What the answer might have started runs after the current event.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        EXPECT_EQ(w.statusText(), "El lector no responde (80000000 (hex))");
        // Only STAT is shown after a failed call.
        EXPECT_EQ(text(w, "STAT"), "00");
        EXPECT_EQ(text(w, "SW1") + text(w, "SW2") + text(w, "LEN"), "");
        EXPECT_EQ(text(w, "replyHex"), "");
    });
}

TEST_F(MainWindowTest, ResetOnAWorkingReaderAndOnASilentOne) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "reader.reset");
        EXPECT_EQ(w.statusText(), "0");
        EXPECT_EQ(text(w, "STAT") + text(w, "SW1") + text(w, "SW2"), "009000");
        EXPECT_EQ(text(w, "replyHex"), hexOf(kvr7x::emu::defaultIdentification()));
        // The identification is read from its first byte.
        EXPECT_EQ(field(w, "replyHex")->cursorPosition(), 0);
        EXPECT_EQ(field(w, "replyBytes")->cursorPosition(), 0);
        emulator->setSilent(true);
        interaction.answerer = [](const runtime::MessageBoxRequest &) -> int {
            ADD_FAILURE() << "a failed reset asks nothing";
            return runtime::ButtonNo;
        };
        choose(w, "reader.reset");
        EXPECT_EQ(w.statusText(), "-2147483648");
        EXPECT_EQ(text(w, "STAT"), "00");
        EXPECT_EQ(text(w, "SW1") + text(w, "LEN") + text(w, "replyHex"), "");
    });
}

TEST_F(MainWindowTest, ResetWithoutIdentificationBytesShowsNoEarlierReply) {
    kvr7x::emu::Config config;
    config.identification = {};  // the reset answer carries N = 0
    startReader(config);
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "reader.activate");
        clickSend(w);
        ASSERT_NE(text(w, "LEN"), "00") << "the activation answers with the card's ATR";
        choose(w, "reader.reset");
        EXPECT_EQ(w.statusText(), "0");
        EXPECT_EQ(text(w, "STAT") + text(w, "SW1") + text(w, "SW2") + text(w, "LEN"), "00900000");
        EXPECT_EQ(text(w, "replyHex") + text(w, "replyBytes"), "");
    });
}

TEST_F(MainWindowTest, ExtendedReaderWithSlotsOneAndThreeEmpty) {
    kvr7x::emu::Config config;
    config.samPresent = {false, true, false};
    startReader(config);
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        EXPECT_FALSE(itemVisible(w, "reader.select"));
        EXPECT_FALSE(itemVisible(w, "reader.activate"));
        EXPECT_TRUE(itemVisible(w, "reader.activateMenu"));
        EXPECT_TRUE(itemEnabled(w, "reader.activateSam"));
        EXPECT_TRUE(itemEnabled(w, "reader.deactivateSam"));
        EXPECT_TRUE(itemEnabled(w, "sam"));
        EXPECT_FALSE(itemEnabled(w, "reader.activateSam.1"));
        EXPECT_TRUE(itemEnabled(w, "reader.activateSam.2"));
        EXPECT_FALSE(itemEnabled(w, "reader.activateSam.3"));
        // The probe shows nothing in the console.
        EXPECT_EQ(text(w, "STAT") + text(w, "replyHex"), "");
        EXPECT_EQ(w.statusText(), "");

        // SAM #2: the SAM menu's ISO items and "Desactivar SAM" address it.
        choose(w, "sam.isoOut");
        EXPECT_EQ(text(w, "CODE"), "21") << "no SAM activated yet";
        choose(w, "reader.deactivateSam");
        EXPECT_EQ(text(w, "P1"), "00");
        choose(w, "reader.activateSam.2");
        EXPECT_EQ(text(w, "CODE") + text(w, "INS") + text(w, "P1"), "208002");
        clickSend(w);
        EXPECT_EQ(w.statusText(), "Comando procesado correctamente");
        choose(w, "sam.isoIn");
        EXPECT_EQ(text(w, "CODE"), "A3");
        choose(w, "sam.isoOut");
        EXPECT_EQ(text(w, "CODE"), "23");
        choose(w, "reader.deactivateSam");
        EXPECT_EQ(text(w, "CODE") + text(w, "INS") + text(w, "P1"), "209002");
    });
}

TEST_F(MainWindowTest, ExtendedReaderWithoutSams) {
    kvr7x::emu::Config config;
    config.samPresent = {false, false, false};
    startReader(config);
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        EXPECT_FALSE(itemEnabled(w, "sam"));
        EXPECT_FALSE(itemEnabled(w, "reader.activateSam"));
        EXPECT_FALSE(itemEnabled(w, "reader.deactivateSam"));
        EXPECT_TRUE(itemVisible(w, "sam"));
    });
}

TEST_F(MainWindowTest, BasicReaderWithModelLetterC) {
    kvr7x::emu::Config config;
    config.identification = kvr7x::emu::basicIdentification();
    startReader(config);
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        EXPECT_TRUE(itemVisible(w, "reader.select"));
        EXPECT_TRUE(itemVisible(w, "reader.activate"));
        EXPECT_FALSE(itemVisible(w, "reader.activateMenu"));
        EXPECT_FALSE(itemVisible(w, "reader.activateSam"));
        EXPECT_FALSE(itemVisible(w, "reader.deactivateSam"));
        EXPECT_FALSE(itemVisible(w, "sam"));
        const std::pair<const char *, bool> types[] = {
            {"reader.select.async", true},  {"reader.select.qx256", true},  {"reader.select.qxp2k", false},
            {"reader.select.qx416", false}, {"reader.select.qxexk", false}, {"reader.select.qxexkExtended", false}};
        for (const auto &[item, enabled] : types) EXPECT_EQ(itemEnabled(w, item), enabled) << item;
        // A highlighted item's hint covers the status text while shown.
        choose(w, "reader.status");
        clickSend(w);
        QTest::keyClick(&w, Qt::Key_L, Qt::AltModifier);
        auto *readerMenu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_NE(readerMenu, nullptr);
        QMenu *select = w.menus()->menu(w.menus()->idOf("reader.select"));
        QTest::keyClick(readerMenu, Qt::Key_S);
        ASSERT_TRUE(eventually([&] { return QApplication::activePopupWidget() == select; }));
        select->setActiveAction(w.menus()->action(w.menus()->idOf("reader.select.qx256")));
        EXPECT_EQ(w.statusBar()->currentMessage(), "Soportado por KVR73C");
        select->setActiveAction(w.menus()->action(w.menus()->idOf("reader.select.async")));
        EXPECT_EQ(w.statusBar()->currentMessage(), "KVR73");
        // A card type this reader cannot take says, under the pointer, which
        // reader can.
        QAction *p2k = w.menus()->action(w.menus()->idOf("reader.select.qxp2k"));
        ASSERT_FALSE(p2k->isEnabled());
        QTest::mouseMove(select, select->actionGeometry(p2k).center());
        EXPECT_TRUE(eventually([&] { return w.statusBar()->currentMessage() == "Soportado por KVR73D"; }))
            << w.statusBar()->currentMessage().toStdString();
        QTest::keyClick(select, Qt::Key_Escape);
        QTest::keyClick(readerMenu, Qt::Key_Escape);
        EXPECT_TRUE(eventually([] { return QApplication::activePopupWidget() == nullptr; }));
        EXPECT_EQ(w.statusBar()->currentMessage(), "");
        EXPECT_EQ(w.statusText(), "Comando procesado correctamente");
        // An echoing reader still runs the whole road.
        choose(w, "reader.select.qx256");
        EXPECT_EQ(text(w, "INS") + text(w, "P2"), "7006");
        clickSend(w);
        EXPECT_EQ(w.statusText(), "Comando procesado correctamente");
        choose(w, "reader.activate");
        clickSend(w);
        EXPECT_EQ(text(w, "STAT"), "00");
    });
}

TEST_F(MainWindowTest, NoReaderAtStartKeepsEveryItem) {
    kvr7x::emu::Config config;
    startReader(config);
    emulator->setSilent(true);
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        for (const char *item : {"reader.select", "reader.activate", "reader.activateMenu", "reader.activateSam",
                                 "reader.deactivateSam", "sam"})
            EXPECT_TRUE(itemVisible(w, item)) << item;
        for (const char *item :
             {"reader.activateSam.1", "reader.activateSam.2", "reader.activateSam.3", "sam", "reader.select.async"})
            EXPECT_TRUE(itemEnabled(w, item)) << item;
        for (const char *item : {"reader.select.qx256", "reader.select.qxp2k", "reader.select.qx416",
                                 "reader.select.qxexk", "reader.select.qxexkExtended"})
            EXPECT_FALSE(itemEnabled(w, item)) << item;
    });
}

TEST_F(MainWindowTest, EveryItemOfAnExtendedReaderPreparesItsCommand) {
    kvr7x::emu::Config config;
    config.samPresent = {true, true, true};
    startReader(config);
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        checkPrepared(w, {{"reader.status", "200010000000"},
                          {"reader.insert", "200020000000"},
                          {"reader.activate.async", "200080000000"},
                          {"reader.activate.qxp2k", "200080000200"},
                          {"reader.activate.qx416", "200080000500"},
                          {"reader.activate.qxexk", "200080000700"},
                          {"reader.activate.gpm896", "200080000600"},
                          {"reader.activateSam.1", "200080010000"},
                          {"reader.deactivateSam", "200090010000"},
                          {"reader.activateSam.3", "200080030000"},
                          {"sam.isoIn", "A40000000000"},
                          {"sam.isoOut", "240000000000"},
                          {"reader.deactivateSam", "200090030000"},
                          {"reader.deactivate", "200090000000"},
                          {"reader.extract", "200030000000"},
                          {"card.isoOut", "210000000000"},
                          {"card.isoIn", "A10000000000"}});
    });
}

TEST_F(MainWindowTest, EveryItemOfABasicReaderPreparesItsCommand) {
    kvr7x::emu::Config config;
    config.identification = kvr7x::emu::basicIdentification();
    startReader(config);
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        checkPrepared(w, {{"reader.select.async", "200070000000"},
                          {"reader.select.qx256", "200070000600"},
                          {"reader.activate", "200080000000"}});
        // Disabled items cannot be chosen: the panel keeps the last command.
        choose(w, "reader.select.qxp2k");
        EXPECT_EQ(text(w, "INS") + text(w, "P2"), "8000");
    });
}

TEST_F(MainWindowTest, IsoOutDisablesTheDataViewsAndIsoInEnablesThem) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        QLineEdit *hex = field(w, "requestHex");
        QLineEdit *bytes = field(w, "requestBytes");
        EXPECT_TRUE(hex->isEnabled() && bytes->isEnabled());
        type(w, "requestHex", "01");
        choose(w, "card.isoOut");
        EXPECT_FALSE(hex->isEnabled());
        EXPECT_FALSE(bytes->isEnabled());
        EXPECT_EQ(hex->text(), "") << "preparing blanks the request data";
        choose(w, "reader.status");
        EXPECT_FALSE(hex->isEnabled() || bytes->isEnabled());
        choose(w, "card.isoIn");
        EXPECT_TRUE(hex->isEnabled() && bytes->isEnabled());
    });
}

TEST_F(MainWindowTest, MenuBarInOrderWithShortcutsAndHints) {
    startReader();
    runMainWindow({
        {"MAIN$WINDOW",
         [&](runtime::qt::Window &w) {
             QStringList bar;
             for (QAction *a : w.menus()->bar()->actions()) bar << a->text();
             EXPECT_EQ(bar, QStringList({"&Lector", "&Edición", "&Tarjeta", "&SAM", "&Utilidades", "A&yuda"}));
             QStringList reader;
             for (QAction *a : w.menus()->menu(w.menus()->idOf("reader"))->actions())
                 reader << (a->isSeparator() ? "-" : a->text());
             EXPECT_EQ(reader, QStringList({"&Reset", "&Petición de Estado", "&Insertar Tarjeta",
                                            "&Seleccionar Tipo de Tarjeta", "&Activar Tarjeta", "&Activar Tarjeta",
                                            "Activar SA&M", "Desactivar SAM", "&Desactivar Tarjeta", "&Extraer Tarjeta",
                                            "-", "In&fo...", "-", "Salir"}));
             const auto shortcut = [&](const char *item) {
                 return w.menus()->action(w.menus()->idOf(item))->shortcut();
             };
             EXPECT_EQ(shortcut("edit.cut"), QKeySequence("Ctrl+X"));
             EXPECT_EQ(shortcut("edit.copy"), QKeySequence("Ctrl+C"));
             EXPECT_EQ(shortcut("edit.paste"), QKeySequence("Ctrl+V"));
             EXPECT_EQ(shortcut("edit.delete"), QKeySequence(Qt::Key_Delete));
             EXPECT_EQ(shortcut("card.commands"), QKeySequence(Qt::Key_F12));
             EXPECT_EQ(shortcut("sam.commands"), QKeySequence(Qt::Key_F2));
             EXPECT_TRUE(shortcut("reader.exit").isEmpty()) << "Ctrl+X cuts";
             EXPECT_FALSE(itemEnabled(w, "card.commands"));
             EXPECT_FALSE(itemEnabled(w, "sam.commands"));
             EXPECT_EQ(w.menus()->action(w.menus()->idOf("reader.select.qx256"))->statusTip(), "Soportado por KVR73C");
             // The command browser and a cancelled import change nothing of the
             // console.
             const QString before = text(w, "CODE");
             const QString status = w.statusText();
             bool asked = false;
             interaction.openFileAnswerer = [&](const runtime::OpenFileRequest &) {
                 asked = true;
                 return QString();
             };
             choose(w, "utilities.commands");
             choose(w, "utilities.import");
             interaction.openFileAnswerer = nullptr;
             EXPECT_TRUE(asked);
             EXPECT_EQ(text(w, "CODE"), before);
             EXPECT_EQ(w.statusText(), status);
             EXPECT_TRUE(w.isVisible());
         }},
        {"BROWSECMD$QUICKWINDOW", [](runtime::qt::Window &browser) { browser.close(); }},
    });
}

TEST_F(MainWindowTest, LayoutInDialogUnitsAndTabOrder) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        struct Place {
            const char *name;
            int x, y, width, height;
        };
        const Place places[] = {
            {"CODE", 10, 20, 16, 10},        {"CLA", 30, 20, 16, 10},
            {"INS", 50, 20, 16, 10},         {"P1", 70, 20, 16, 10},
            {"P2", 90, 20, 16, 10},          {"P3", 110, 20, 16, 10},
            {"requestHex", 10, 32, 240, 10}, {"requestBytes", 130, 20, 120, 10},
            {"STAT", 10, 66, 16, 10},        {"SW1", 30, 66, 16, 10},
            {"SW2", 50, 66, 16, 10},         {"LEN", 70, 66, 16, 10},
            {"replyBytes", 90, 66, 160, 10}, {"replyHex", 10, 78, 240, 10},
        };
        const runtime::qt::DialogUnits &du = w.units();
        QWidget *previous = nullptr;
        for (const Place &p : places) {
            QLineEdit *f = field(w, p.name);
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(f->geometry(), du.toPixels(QRect(p.x, p.y, p.width, p.height))) << p.name;
            if (previous) {
                EXPECT_EQ(nextTabStop(previous), f) << p.name;
            }
            previous = f;
        }
        auto *send = w.findChild<QPushButton *>("send");
        EXPECT_EQ(send->text(), "Procesar Comando");
        EXPECT_EQ(send->geometry(), du.toPixels(QRect(4, 94, 252, 12)));
        EXPECT_EQ(nextTabStop(previous), send);
        for (const char *name : {"CODE", "STAT", "SW1", "SW2", "LEN", "replyBytes", "replyHex"})
            EXPECT_TRUE(field(w, name)->isReadOnly()) << name;
        for (const char *name : {"CLA", "INS", "P1", "P2", "P3", "requestHex", "requestBytes"})
            EXPECT_FALSE(field(w, name)->isReadOnly()) << name;
        QStringList groups;
        for (QGroupBox *g : w.findChildren<QGroupBox *>()) groups << g->title();
        EXPECT_EQ(groups, QStringList({"Comando PC -> KVR", "Comando KVR -> PC"}));
        EXPECT_EQ(w.client()->size(), du.toPixels(QSize(260, 110)));
    });
}

TEST_F(MainWindowTest, CommandsIsOpenWhileTheWindowRuns) {
    startReader();
    ASSERT_EQ(library.useCount(), 0);
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &) {
        EXPECT_EQ(library.useCount(), 1);
        EXPECT_TRUE(library.commandsFile().isOpen());
        EXPECT_TRUE(QFileInfo::exists("COMMANDS.tps")) << "created when missing";
    });
    EXPECT_EQ(library.useCount(), 0);
    EXPECT_FALSE(library.commandsFile().isOpen());
}

TEST_F(MainWindowTest, ImportedCommandsShowInTheBrowserAndInTheCardMenuOnceItCloses) {
    QTemporaryDir here;  // a COMMANDS of its own
    const QString previous = QDir::currentPath();
    QDir::setCurrent(here.path());
    const std::string source = QDir(here.path()).filePath("OTROS.tps").toStdString();
    ASSERT_TRUE(kvr::testing::writeCommandFile(
        source, {kvr::testing::numberedCommand(0, "zeta"), kvr::testing::numberedCommand(1, "alfa"),
                 kvr::testing::numberedCommand(2, "mid")}));
    interaction.openFileAnswerer = [&](const runtime::OpenFileRequest &) { return QString::fromStdString(source); };
    startReader();
    runMainWindow({
        {"MAIN$WINDOW",
         [&](runtime::qt::Window &w) {
             const QMenu *card = w.menus()->menu(MenuCard);
             ASSERT_NE(card, nullptr);
             const auto titles = [card] {
                 QStringList list;
                 for (const QAction *a : card->actions()) list << (a->isSeparator() ? "-" : a->text());
                 return list;
             };
             const QStringList before = titles();
             choose(w, "utilities.import");
             EXPECT_EQ(w.statusText(), "3 comandos importados");
             EXPECT_EQ(library.commandsFile().records(), 3);
             EXPECT_EQ(titles(), before) << "the import leaves the stored-command menus alone";
             // The browser shows them at once; the menus are rebuilt when it closes.
             choose(w, "utilities.commands");
             EXPECT_EQ(titles(), before + QStringList({"alfa", "mid", "zeta"}));
         }},
        {"BROWSECMD$QUICKWINDOW",
         [&](runtime::qt::Window &browser) {
             const auto *list = browser.findChild<runtime::qt::PageList *>("list");
             ASSERT_NE(list, nullptr);
             QStringList shown;
             for (int row = 1; row <= list->rowCount(); ++row) shown << list->cellText(row, 0).trimmed();
             EXPECT_EQ(shown, QStringList({"alfa", "mid", "zeta"}));
             browser.close();
         }},
    });
    interaction.openFileAnswerer = nullptr;
    QDir::setCurrent(previous);
}

TEST_F(MainWindowTest, SalirClosesAndThePlaceIsKept) {
    startReader();
    QPoint placed;
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        w.move(w.pos() + QPoint(37, 29));
        placed = w.pos();
        choose(w, "reader.exit");
        EXPECT_FALSE(w.isVisible()) << "Salir closes the main window";
    });
    EXPECT_NE(runtime::readProfileString("Main", "XPosit", "", "KVRMAN1.INI"), "");
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        // Places are kept in dialog units: back to within one unit.
        EXPECT_LE(std::abs(w.pos().x() - placed.x()), w.units().toPixelsX(1));
        EXPECT_LE(std::abs(w.pos().y() - placed.y()), w.units().toPixelsY(1));
    });
}

// A card that does not find the file selected answers 6A 82: SW1 and SW2
// say what that means in their tip, the status bar keeps its own text, and
// the next prepared command takes the tip away with the reply.
TEST_F(MainWindowTest, TheStatusWordsMeaningIsTheTipOfSw1AndSw2) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "reader.activate.async");
        clickSend(w);
        EXPECT_EQ(field(w, "SW1")->toolTip(), "Proceso correcto");
        choose(w, "card.isoIn");
        type(w, "INS", "A4");
        type(w, "P2", "0C");
        type(w, "requestHex", "7F7F");
        clickSend(w);
        ASSERT_EQ(text(w, "STAT") + text(w, "SW1") + text(w, "SW2"), "006A82");
        EXPECT_EQ(w.statusText(), "Comando procesado correctamente");
        EXPECT_EQ(field(w, "SW1")->toolTip(), "Fichero o aplicación no encontrado");
        EXPECT_EQ(field(w, "SW2")->toolTip(), "Fichero o aplicación no encontrado");
        EXPECT_EQ(field(w, "STAT")->toolTip(), "");
        choose(w, "card.isoOut");
        EXPECT_EQ(field(w, "SW1")->toolTip(), "");
        EXPECT_EQ(field(w, "SW2")->toolTip(), "");
    });
}

}  // namespace
}  // namespace kvr::console::testing
