// The command edit form on a real COMMANDS file, driven as the operator
// would, with a second process where another station matters.  Boxes are
// answered by the test.
#include "library/update_commands.h"

#include "command_files.h"
#include "library/commands_file.h"
#include "library/commands_library.h"
#include "library/commands_use.h"
#include "sample_command.h"
#include "peer_process.h"
#include "postgres_environment.h"
#include "runtime/qt/key_code.h"
#include "runtime/profile.h"
#include "runtime/settings_file.h"
#include "runtime/qt/window.h"
#include "temporary_config.h"
#include "warning_recorder.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Readable QStrings in test failures.
inline void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }

namespace kvr::library {
namespace {

using runtime::qt::Window;
using testing::Peer;
using testing::runPeer;
using Clock = std::chrono::steady_clock;

QLineEdit *entry(Window &w, const char *name) {
    auto *field = w.findChild<QLineEdit *>(name);
    EXPECT_NE(field, nullptr) << name;
    return field;
}

QString shown(Window &w, const char *name) { return entry(w, name)->text(); }

// Enters the field as the Tab key does and, once the window has handled
// that, types over its contents.
void typeInto(Window &w, const char *name, const QString &keys) {
    QLineEdit *field = entry(w, name);
    field->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    field->selectAll();
    QTest::keyClicks(field, keys);
}

void pressDitto(Window &w, const char *name) {
    QLineEdit *field = entry(w, name);
    field->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(field, Qt::Key_D, Qt::ControlModifier);
}

void click(Window &w, const char *name) {
    auto *button = w.findChild<QPushButton *>(name);
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

QString focused(Window &w) { return w.focusWidget() ? w.focusWidget()->objectName() : QString(); }

using testing::sampleCommand;

std::string bytesOf(const Commands &c) {
    const auto bytes = packCommands(c);
    return std::string(bytes.begin(), bytes.end());
}

class UpdateCommandsTest : public ::testing::Test {
protected:
    testing::ScratchFolder folder;
    testing::InFolder inFolder{folder.path()};
    test_support::TemporaryConfig config;
    testing::WarningRecorder recorder;
    CommandsLibrary library{recorder};
    CommandsUse mainWindowUse{library};  // the main window keeps COMMANDS open
    FormCall &call = library.formCall();
    std::string path = (std::filesystem::path(folder.path()) / "COMMANDS.tps").string();

    void SetUp() override { mainWindowUse.acquire(); }

    std::uint32_t add(const Commands &c) {
        library.commandsRecord() = c;
        EXPECT_EQ(library.commandsFile().add(), 0);
        return library.commandsFile().recordNumber();
    }

    // As the browser does before it calls the form.
    void watchedRead(std::uint32_t recno) {
        library.commandsFile().watch();
        ASSERT_EQ(library.commandsFile().readByNumber(recno), 0);
    }

    std::optional<Commands> stored(std::uint32_t recno) {
        if (library.commandsFile().readByNumber(recno) != 0) return std::nullopt;
        return library.commandsRecord();
    }

    std::vector<Commands> allRecords() {
        std::vector<Commands> records;
        for (std::uint32_t recno = 1; recno < 100; ++recno)
            if (auto c = stored(recno)) records.push_back(*c);
        return records;
    }

    std::uint32_t fileChanges() const { return testing::fileChanges(path); }

    // Calls the form with the request; the script runs inside the form's
    // window (which it should close), or is not run when no window opens.
    std::int32_t runForm(std::int32_t request, std::function<void(Window &)> script = {}) {
        bool ran = false;
        recorder.windowRunHook = [&](Window &w) {
            ran = true;
            // Focus events reach only the active window.
            w.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&w, 5000));
            if (script) script(w);
            if (w.isVisible()) {
                ADD_FAILURE() << "the form is still open after its script";
                w.close();
            }
        };
        call.request = request;
        const std::int32_t response = updateCommands(recorder, library);
        recorder.windowRunHook = nullptr;
        EXPECT_EQ(ran, bool(script)) << "the form's window opened or did not as expected";
        EXPECT_EQ(call.request, 0);
        EXPECT_EQ(call.response, response);
        return response;
    }

    std::vector<std::string> captions() const {
        std::vector<std::string> list;
        for (const auto &box : recorder.boxes) list.push_back(box.caption);
        return list;
    }
};

TEST_F(UpdateCommandsTest, WindowLaysOutItsControlsInDialogUnitsAndKeepsItsPlace) {
    clearCommands(library.commandsRecord());
    QSize resized;
    const auto response = runForm(FormInsert, [&](Window &w) {
        EXPECT_EQ(w.name(), "UPDATECOMMANDS$QUICKWINDOW");
        EXPECT_EQ(w.windowTitle(), "Actualización de Comandos");
        EXPECT_TRUE(w.isResizable());
        EXPECT_EQ(w.minimumSize(), w.size());
        const runtime::qt::DialogUnits &du = w.units();
        EXPECT_EQ(w.client()->sizeHint(), du.toPixels(QSize(358, 165)));

        struct Expected {
            const char *prompt;
            const char *name;
            int y, width, characters;
        };
        const Expected controls[] = {
            {"Tarjeta:", "card", 5, 44, 10},     {"Comando:", "name", 33, 124, 30}, {"Cod:", "code", 47, 40, 2},
            {"Cla:", "cla", 61, 40, 2},          {"Ins:", "ins", 75, 40, 2},        {"P1:", "p1", 89, 40, 2},
            {"P2:", "p2", 103, 40, 2},           {"P3:", "p3", 117, 40, 2},         {"Data:", "data", 131, 289, 128},
            {"Hot Key:", "hotKey", 145, -1, 13},
        };
        QStringList prompts;
        for (QLabel *label : w.client()->findChildren<QLabel *>())
            if (label->objectName().isEmpty()) {
                prompts << label->text();
                EXPECT_EQ(label->pos().x(), du.toPixelsX(4)) << label->text().toStdString();
            }
        QStringList expectedPrompts;
        for (const Expected &c : controls) {
            expectedPrompts << QString::fromUtf8(c.prompt);
            QLineEdit *field = entry(w, c.name);
            if (!field) continue;
            EXPECT_EQ(field->maxLength(), c.characters) << c.name;
            const QRect place = field->geometry();
            EXPECT_EQ(place.topLeft(), du.toPixels(QPoint(57, c.y))) << c.name;
            EXPECT_EQ(place.height(), du.toPixelsY(10)) << c.name;
            if (c.width > 0) {
                EXPECT_EQ(place.width(), du.toPixelsX(c.width)) << c.name;
            }
        }
        EXPECT_EQ(prompts, expectedPrompts);
        for (const char *button : {"ok", "cancel"}) {
            auto *b = w.findChild<QPushButton *>(button);
            ASSERT_NE(b, nullptr);
            EXPECT_EQ(b->geometry(), du.toPixels(QRect(button[0] == 'o' ? 256 : 305, 149, 45, 14)));
        }
        EXPECT_EQ(w.findChild<QPushButton *>("ok")->text(), "OK");
        EXPECT_EQ(w.findChild<QPushButton *>("cancel")->text(), "Cancelar");

        // The focus starts on the card name and Tab walks the 12 controls.
        QStringList order{focused(w)};
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(w.focusWidget(), Qt::Key_Tab);
            QCoreApplication::processEvents();
            order << focused(w);
        }
        EXPECT_EQ(order, QStringList({"card", "name", "code", "cla", "ins", "p1", "p2", "p3", "data", "hotKey", "ok",
                                      "cancel", "card"}));
        EXPECT_EQ(w.statusText(1), "Se añadirá un registro");
        EXPECT_EQ(w.statusText(0), "");
        w.resize(w.width() + 40, w.height() + 30);
        resized = w.size();
        w.close();  // the close box asks nothing
    });
    EXPECT_EQ(response, FormCancelled);
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_NE(runtime::readProfileString("UpdateCommands", "Width", "0", runtime::kSettingsFile), "0");
    EXPECT_EQ(library.commandsFile().records(), 0);

    // The next opening comes back at the stored size (kept in dialog units).
    runForm(FormInsert, [&](Window &w) {
        EXPECT_NEAR(w.width(), resized.width(), w.units().toPixelsX(1));
        EXPECT_NEAR(w.height(), resized.height(), w.units().toPixelsY(1));
        click(w, "cancel");
    });
    EXPECT_EQ(library.useCount(), 1) << "the form released its use of COMMANDS";
}

TEST_F(UpdateCommandsTest, OkOnAChangeWithoutEditsWritesNothing) {
    const auto recno = add(sampleCommand("Visa", "Select", "3F00", 0x71));
    watchedRead(recno);
    const std::uint32_t before = fileChanges();
    const auto response = runForm(FormChange, [&](Window &w) {
        EXPECT_EQ(shown(w, "card"), "Visa");
        EXPECT_EQ(shown(w, "name"), "Select");
        EXPECT_EQ(shown(w, "data"), "3F00");
        EXPECT_EQ(shown(w, "hotKey"), "113");
        EXPECT_EQ(w.findChild<QLabel *>("hotKeyName")->text(), "F2");
        EXPECT_EQ(w.statusText(1), "Se modificará el registro");
        click(w, "ok");
    });
    EXPECT_EQ(response, FormCompleted);
    EXPECT_EQ(fileChanges(), before);
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_EQ(bytesOf(*stored(recno)), bytesOf(sampleCommand("Visa", "Select", "3F00", 0x71)));
}

TEST_F(UpdateCommandsTest, InsertStoresWhatIsTypedAndTheDittoKeyFirstBlanks) {
    clearCommands(library.commandsRecord());
    const auto response = runForm(FormInsert, [&](Window &w) {
        // A blank card name is refused: such a record would be listed
        // nowhere, so nobody could change or delete it again.
        typeInto(w, "name", "Sin tarjeta");
        typeInto(w, "card", "   ");
        click(w, "ok");
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(w.statusText(0), "La tarjeta no puede quedar en blanco");
        EXPECT_EQ(focused(w), "card");
        EXPECT_EQ(library.commandsFile().records(), 0);
        typeInto(w, "card", "Visa");
        EXPECT_EQ(w.statusText(0), "") << "the card is filled in";
        typeInto(w, "name", "algo");
        pressDitto(w, "name");  // nothing saved yet in this run
        EXPECT_EQ(shown(w, "name"), "");
        typeInto(w, "name", "Leer  binario");
        typeInto(w, "code", "ZZ");
        typeInto(w, "cla", "??");
        typeInto(w, "ins", "b0");
        typeInto(w, "p1", " 1");
        typeInto(w, "p3", "S2");
        typeInto(w, "data", "?Ñ 00");
        click(w, "ok");
    });
    EXPECT_EQ(response, FormCompleted);
    EXPECT_TRUE(recorder.boxes.empty());
    const auto records = allRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(fieldText(library.formCall().history.name), "Leer  binario") << "the refused OK was no save";
    Commands expected;
    clearCommands(expected);
    setField(expected.card, "Visa");
    setField(expected.name, "Leer  binario");
    setField(expected.frsCode, "ZZ");
    setField(expected.frsCla, "??");
    setField(expected.frsIns, "b0");
    setField(expected.frsP1, " 1");
    setField(expected.frsP3, "S2");
    setField(expected.data, "?\xD1 00");  // Ñ in the Western code page
    EXPECT_EQ(bytesOf(records[0]), bytesOf(expected));
}

TEST_F(UpdateCommandsTest, TheDittoKeyBringsBackTheLastSaveInEachEntry) {
    clearCommands(library.commandsRecord());
    runForm(FormInsert, [&](Window &w) {
        typeInto(w, "card", "Visa");
        typeInto(w, "name", "Verificar");
        typeInto(w, "data", "00A4");
        typeInto(w, "hotKey", "592");
        click(w, "ok");
    });
    const Commands saved = allRecords().at(0);

    // The next insert starts blank; Ctrl+D fills each entry from the save.
    clearCommands(library.commandsRecord());
    const auto response = runForm(FormInsert, [&](Window &w) {
        EXPECT_EQ(shown(w, "name"), "");
        for (const char *name : {"card", "name", "code", "cla", "ins", "p1", "p2", "p3", "data", "hotKey"})
            pressDitto(w, name);
        EXPECT_EQ(shown(w, "card"), "Visa");
        EXPECT_EQ(shown(w, "name"), "Verificar");
        EXPECT_EQ(shown(w, "data"), "00A4");
        EXPECT_EQ(shown(w, "hotKey"), "592");
        EXPECT_EQ(w.findChild<QLabel *>("hotKeyName")->text(), "Ctrl+P");
        typeInto(w, "name", "Otro");
        click(w, "ok");
    });
    EXPECT_EQ(response, FormCompleted);
    const auto records = allRecords();
    ASSERT_EQ(records.size(), 2u);
    Commands expected = saved;
    setField(expected.name, "Otro");
    EXPECT_EQ(bytesOf(records[1]), bytesOf(expected));
}

TEST_F(UpdateCommandsTest, HotKeyTakesAWaitingKeyPressOrKeepsItsValueAndThenATypedCode) {
    const auto recno = add(sampleCommand("Visa", "Select", "", 0x272));
    watchedRead(recno);
    const auto response = runForm(FormChange, [&](Window &w) {
        QLabel *keyName = w.findChild<QLabel *>("hotKeyName");
        EXPECT_EQ(shown(w, "hotKey"), "626");
        EXPECT_EQ(keyName->text(), "Ctrl+F3");

        // A key press already waiting when the focus arrives is the hot key.
        QCoreApplication::postEvent(entry(w, "hotKey"), new QKeyEvent(QEvent::KeyPress, Qt::Key_F5, Qt::ShiftModifier));
        entry(w, "data")->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(entry(w, "data"), Qt::Key_Tab);
        QCoreApplication::processEvents();
        ASSERT_EQ(focused(w), "hotKey");
        const std::uint32_t captured = runtime::KeyShift | 0x74 | runtime::KeyInsertMode;
        EXPECT_EQ(shown(w, "hotKey"), QString::number(captured));
        EXPECT_EQ(keyName->text(), "Shift+F5");

        // Entered with Tab or a click and nothing waiting: the value stays.
        const QString shiftF5 = QString::number(captured);
        QTest::keyClick(entry(w, "hotKey"), Qt::Key_Backtab, Qt::ShiftModifier);
        ASSERT_EQ(focused(w), "data");
        QTest::keyClick(entry(w, "data"), Qt::Key_Tab);
        QCoreApplication::processEvents();
        ASSERT_EQ(focused(w), "hotKey");
        EXPECT_EQ(shown(w, "hotKey"), shiftF5);
        EXPECT_EQ(keyName->text(), "Shift+F5");
        entry(w, "data")->setFocus(Qt::OtherFocusReason);
        QTest::mouseClick(entry(w, "hotKey"), Qt::LeftButton);
        QCoreApplication::processEvents();
        ASSERT_EQ(focused(w), "hotKey");
        EXPECT_EQ(shown(w, "hotKey"), shiftF5);

        // Typing 0 clears it; then the code typed.
        entry(w, "hotKey")->selectAll();
        QTest::keyClicks(entry(w, "hotKey"), "0");
        EXPECT_EQ(shown(w, "hotKey"), "0");
        EXPECT_EQ(keyName->text(), "");
        entry(w, "hotKey")->selectAll();
        QTest::keyClicks(entry(w, "hotKey"), "11x3");  // the picture refuses the x
        EXPECT_EQ(shown(w, "hotKey"), "113");
        EXPECT_EQ(keyName->text(), "F2");

        // Nor does it take digits beyond 32 bits.
        typeInto(w, "hotKey", "-2147483648");
        EXPECT_EQ(shown(w, "hotKey"), "-2147483648");
        typeInto(w, "hotKey", "2147483648");
        EXPECT_EQ(shown(w, "hotKey"), "214748364");
        typeInto(w, "hotKey", "113");
        click(w, "ok");
    });
    EXPECT_EQ(response, FormCompleted);
    EXPECT_EQ(stored(recno)->hotKey, 113);
}

// As in every dialog: Enter presses OK and Escape "Cancelar", from any
// entry; a key waiting when the focus arrives in "Hot Key:" is its code,
// Enter included.  Tabbing through a change keeps the hot key.
TEST_F(UpdateCommandsTest, EnterPressesOkAndEscapeCancelsUnlessHotKeyCapturesThem) {
    const Commands zeta = sampleCommand("ZETA", "Leer", "3F00", 118);
    const auto recno = add(zeta);
    const auto tabTo = [](Window &w, const char *name) {
        for (int i = 0; i < 12 && focused(w) != name; ++i) {
            QTest::keyClick(w.focusWidget(), Qt::Key_Tab);
            QCoreApplication::processEvents();
        }
        ASSERT_EQ(focused(w), name);
    };

    watchedRead(recno);
    const std::uint32_t before = fileChanges();
    EXPECT_EQ(runForm(FormChange,
                      [&](Window &w) {
                          tabTo(w, "hotKey");
                          EXPECT_EQ(shown(w, "hotKey"), "118");
                          QTest::keyClick(w.focusWidget(), Qt::Key_Return);
                      }),
              FormCompleted);
    EXPECT_EQ(fileChanges(), before) << "nothing changed, nothing written";
    EXPECT_EQ(bytesOf(*stored(recno)), bytesOf(zeta));

    watchedRead(recno);
    EXPECT_EQ(runForm(FormChange,
                      [&](Window &w) {
                          typeInto(w, "name", "Otro");
                          QTest::keyClick(w.focusWidget(), Qt::Key_Escape);
                      }),
              FormCancelled);
    EXPECT_EQ(bytesOf(*stored(recno)), bytesOf(zeta));
    EXPECT_TRUE(recorder.boxes.empty()) << "Escape asks nothing";

    watchedRead(recno);
    EXPECT_EQ(runForm(FormChange,
                      [&](Window &w) {
                          tabTo(w, "data");
                          QCoreApplication::postEvent(entry(w, "hotKey"),
                                                      new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
                          QTest::keyClick(entry(w, "data"), Qt::Key_Tab);
                          QCoreApplication::processEvents();
                          ASSERT_TRUE(w.isVisible()) << "the waiting Escape was the hot key";
                          EXPECT_EQ(w.findChild<QLabel *>("hotKeyName")->text(), "Esc");
                          QTest::keyClick(entry(w, "name"), Qt::Key_Enter, Qt::KeypadModifier);
                      }),
              FormCompleted);
    EXPECT_EQ(stored(recno)->hotKey & 0xFFF, 0x1B) << "Escape's key code";
}

TEST_F(UpdateCommandsTest, DeleteAsksFirstAndOffersToTryAgain) {
    const auto first = add(sampleCommand("Visa", "Select"));
    const auto second = add(sampleCommand("Amex", "Verify"));

    watchedRead(first);
    recorder.answers = {runtime::ButtonCancel};
    EXPECT_EQ(runForm(FormDelete), FormCancelled);
    EXPECT_EQ(captions(), std::vector<std::string>{"Confirm Delete"});
    EXPECT_EQ(recorder.boxes[0].text,
              "You've selected to delete the highlighted record.  Press OK to confirm deletion of this record.");
    EXPECT_TRUE(stored(first).has_value());

    // Another process holds the file: the delete cannot start its
    // transaction within 2 s; the operator tries again once it is free.
    for (const bool retry : {true, false}) {
        SCOPED_TRACE(retry ? "retried" : "given up");
        recorder.boxes.clear();
        Peer peer({"hold-transaction", path, "20000"});
        ASSERT_EQ(peer.readLine(), "ready");
        Clock::time_point confirmed, framingError;
        recorder.onBox = [&](const runtime::MessageBoxRequest &box) {
            if (box.caption == "Confirm Delete") confirmed = Clock::now();
            if (box.caption == "Transaction Framing Error") framingError = Clock::now();
            if (box.caption == "Record Update Error" && retry) peer.kill();
        };
        recorder.answers = {runtime::ButtonOk, runtime::ButtonOk, retry ? runtime::ButtonYes : runtime::ButtonNo};
        watchedRead(retry ? first : second);
        EXPECT_EQ(runForm(FormDelete), retry ? FormCompleted : FormCancelled);
        recorder.onBox = {};
        EXPECT_EQ(captions(),
                  (std::vector<std::string>{"Confirm Delete", "Transaction Framing Error", "Record Update Error"}));
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(framingError - confirmed);
        EXPECT_GE(waited.count(), 1900);
        EXPECT_LT(waited.count(), 8000);
        EXPECT_NE(recorder.boxes.at(1).text.find("attempting to frame the delete transaction on Commands"),
                  std::string::npos);
        EXPECT_EQ(recorder.boxes.at(2).text,
                  "An error was experienced deleting this record.  Do you want to try to save again?");
        EXPECT_FALSE(stored(first).has_value()) << "deleted on the retry";
        EXPECT_TRUE(stored(second).has_value());
    }
}

TEST_F(UpdateCommandsTest, AChangeByAnotherStationIsShownAndTheDittoKeyRecallsTheOperatorsValue) {
    const auto recno = add(sampleCommand("Visa", "Select", "3F00"));
    watchedRead(recno);
    const auto response = runForm(FormChange, [&](Window &w) {
        ASSERT_EQ(runPeer({"put", path, std::to_string(recno), "Otra", "Su nombre"}), "0");
        typeInto(w, "name", "Mi nombre");
        typeInto(w, "data", "3F01");
        click(w, "ok");
        ASSERT_EQ(captions(), std::vector<std::string>{"Record Was Not Updated"});
        EXPECT_EQ(recorder.boxes[0].text.find('\n'), std::string::npos) << "the warning as it stands";
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(focused(w), "card");
        EXPECT_EQ(shown(w, "card"), "Otra");
        EXPECT_EQ(shown(w, "name"), "Su nombre");
        EXPECT_EQ(shown(w, "data"), "3F00");
        pressDitto(w, "name");
        EXPECT_EQ(shown(w, "name"), "Mi nombre");
        click(w, "ok");
    });
    EXPECT_EQ(response, FormCompleted);
    EXPECT_EQ(recorder.boxes.size(), 1u);
    Commands expected = sampleCommand("Otra", "Mi nombre", "3F00");
    EXPECT_EQ(bytesOf(*stored(recno)), bytesOf(expected));
}

TEST_F(UpdateCommandsTest, ARecordDeletedByAnotherStationIsAddedAgainWithTheOperatorsValues) {
    const auto recno = add(sampleCommand("Visa", "Select", "3F00"));
    watchedRead(recno);
    const auto response = runForm(FormChange, [&](Window &w) {
        ASSERT_EQ(runPeer({"delete", path, std::to_string(recno)}), "0");
        typeInto(w, "name", "Mi nombre");
        click(w, "ok");
        ASSERT_EQ(captions(), std::vector<std::string>{"Record Was Not Updated"});
        // The standard warning keeps its fixed English text; the status bar
        // says what happened.
        EXPECT_EQ(recorder.boxes[0].text,
                  "This record was changed by another station. Those changes will now be displayed. Use the Ditto "
                  "Button or Ctrl+' to recall your changes.");
        EXPECT_EQ(focused(w), "card");
        EXPECT_EQ(shown(w, "name"), "Mi nombre");
        EXPECT_EQ(w.statusText(0), "Otra estación borró el registro: OK lo añadirá de nuevo");
        EXPECT_EQ(w.statusText(1), "Se añadirá un registro");
        click(w, "ok");
    });
    EXPECT_EQ(response, FormCompleted);
    EXPECT_EQ(recorder.boxes.size(), 1u) << "warning 38 once";
    const auto records = allRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(bytesOf(records[0]), bytesOf(sampleCommand("Visa", "Mi nombre", "3F00")));
}

TEST_F(UpdateCommandsTest, AFileHeldByAnotherProcessRefusesTheSaveAndTheFormStays) {
    const auto recno = add(sampleCommand("Visa", "Select"));
    Peer peer({"hold-transaction", path, "30000"});
    ASSERT_EQ(peer.readLine(), "ready");

    // Insert: the add fails (warning 14) and the form stays with the values.
    clearCommands(library.commandsRecord());
    EXPECT_EQ(runForm(FormInsert,
                      [&](Window &w) {
                          typeInto(w, "card", "Nueva");
                          click(w, "ok");
                          EXPECT_EQ(captions(), std::vector<std::string>{"Record Insert Error"});
                          EXPECT_TRUE(w.isVisible());
                          EXPECT_EQ(focused(w), "card");
                          EXPECT_EQ(shown(w, "card"), "Nueva");
                          click(w, "cancel");
                      }),
              FormCancelled);

    // Change: warning 34 after the 2 s time-out, then 16; Cancel goes on
    // editing, and OK once the file is free writes.
    recorder.boxes.clear();
    watchedRead(recno);
    recorder.answers = {runtime::ButtonOk, runtime::ButtonCancel};
    const auto response = runForm(FormChange, [&](Window &w) {
        typeInto(w, "name", "Cambiado");
        const auto start = Clock::now();
        click(w, "ok");
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        EXPECT_GE(waited.count(), 1900);
        EXPECT_LT(waited.count(), 8000);
        ASSERT_EQ(captions(), (std::vector<std::string>{"Transaction Framing Error", "Record Update Error"}));
        EXPECT_NE(recorder.boxes[0].text.find("attempting to frame the update transaction on Commands"),
                  std::string::npos);
        EXPECT_EQ(recorder.boxes[1].buttons, runtime::ButtonYes | runtime::ButtonNo | runtime::ButtonCancel);
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(focused(w), "card");
        peer.kill();
        click(w, "ok");
    });
    EXPECT_EQ(response, FormCompleted);
    EXPECT_EQ(bytesOf(*stored(recno)), bytesOf(sampleCommand("Visa", "Cambiado")));
}

// The change-retry question answered Yes saves again (the file is free by
// then) and closes the form; answered No closes it with nothing written.
TEST_F(UpdateCommandsTest, TheChangeRetryQuestionSavesAgainOrGivesUp) {
    for (const bool retry : {true, false}) {
        SCOPED_TRACE(retry ? "Yes" : "No");
        recorder.boxes.clear();
        const auto recno = add(sampleCommand("Visa", retry ? "Select" : "Read"));
        Peer peer({"hold-transaction", path, "30000"});
        ASSERT_EQ(peer.readLine(), "ready");
        recorder.onBox = [&](const runtime::MessageBoxRequest &box) {
            if (box.caption == "Record Update Error") peer.kill();
        };
        recorder.answers = {runtime::ButtonOk, retry ? runtime::ButtonYes : runtime::ButtonNo};
        watchedRead(recno);
        const auto response = runForm(FormChange, [&](Window &w) {
            typeInto(w, "name", "Cambiado");
            click(w, "ok");
        });
        recorder.onBox = {};
        EXPECT_EQ(captions(), (std::vector<std::string>{"Transaction Framing Error", "Record Update Error"}));
        EXPECT_EQ(response, retry ? FormCompleted : FormCancelled);
        EXPECT_EQ(bytesOf(*stored(recno)), bytesOf(sampleCommand("Visa", retry ? "Cambiado" : "Read")));
    }
}

// The team library's server stops while the form is open: each save says
// why in the server's words and the form stays with the operator's values;
// once the server is back, OK saves them.
TEST(UpdateCommandsOnATeamLibrary, ASaveThatCannotReachTheServerKeepsTheForm) {
    testing::ScratchFolder folder;
    testing::InFolder inFolder{folder.path()};
    test_support::TemporaryConfig config;
    testing::WarningRecorder recorder;
    testing::PostgresServer server;
    CommandsLibrary team(recorder, server.freshDatabase());
    CommandsUse mainWindowUse{team};
    mainWindowUse.acquire();
    team.commandsRecord() = sampleCommand("Visa", "Select");
    ASSERT_EQ(team.commandsFile().add(), 0);
    const auto recno = team.commandsFile().recordNumber();
    const auto captions = [&recorder] {
        std::vector<std::string> list;
        for (const auto &box : recorder.boxes) list.push_back(box.caption);
        return list;
    };
    const auto runForm = [&](std::int32_t request, const std::function<void(Window &)> &script) {
        recorder.windowRunHook = [&](Window &w) {
            w.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&w, 5000));
            script(w);
            if (w.isVisible()) w.close();
        };
        team.formCall().request = request;
        const std::int32_t response = updateCommands(recorder, team);
        recorder.windowRunHook = nullptr;
        return response;
    };

    team.commandsFile().watch();  // as the browser reads the record it will change
    ASSERT_EQ(team.commandsFile().readByNumber(recno), 0);
    server.stop();
    clearCommands(team.commandsRecord());
    EXPECT_EQ(runForm(FormInsert,
                      [&](Window &w) {
                          typeInto(w, "card", "Nueva");
                          click(w, "ok");
                          ASSERT_EQ(captions(), std::vector<std::string>{"Record Insert Error"});
                          EXPECT_NE(recorder.boxes[0].text.find("No such file or directory"), std::string::npos)
                              << recorder.boxes[0].text;
                          EXPECT_TRUE(w.isVisible());
                          EXPECT_EQ(shown(w, "card"), "Nueva");
                          click(w, "cancel");
                      }),
              FormCancelled);

    recorder.boxes.clear();
    team.commandsRecord() = sampleCommand("Visa", "Select");  // the record the browser read
    recorder.answers = {runtime::ButtonOk, runtime::ButtonCancel};
    const auto response = runForm(FormChange, [&](Window &w) {
        typeInto(w, "name", "Cambiado");
        click(w, "ok");
        ASSERT_EQ(captions(), (std::vector<std::string>{"Transaction Framing Error", "Record Update Error"}));
        EXPECT_NE(recorder.boxes[0].text.find("No such file or directory"), std::string::npos)
            << recorder.boxes[0].text;
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(shown(w, "name"), "Cambiado");
        server.start();
        click(w, "ok");
    });
    EXPECT_EQ(response, FormCompleted);
    EXPECT_EQ(recorder.boxes.size(), 2u);
    ASSERT_EQ(team.commandsFile().readByNumber(recno), 0);
    EXPECT_EQ(bytesOf(team.commandsRecord()), bytesOf(sampleCommand("Visa", "Cambiado")));
}

}  // namespace
}  // namespace kvr::library
