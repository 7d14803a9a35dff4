// Card scripts in the manager against the reader emulator: each line
// through the console as the operator would send it, with its verdict in
// the history; "Utilidades > Ejecutar guión..." with its box, Escape
// between lines, and the history's exchanges saved as a script that passes
// when run again and as emulator rules that answer them.
#include "window_test_support.h"

#include "session/card_script.h"
#include "session/command_console.h"
#include "session/exchange_history.h"
#include "session/exchange_text.h"
#include "session/reader_link.h"
#include "session/script_record.h"
#include "session/script_run.h"
#include "runtime/file_dialog.h"
#include "runtime/qt/menus.h"
#include "runtime/message_box.h"

#include <rules.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>
#include <vector>

namespace kvr::console::testing {

using namespace session;
namespace {

// Four lines: the activation, a select whose answer waits (61xx), the GET
// RESPONSE of its length, and a read whose expectation the card's label
// does not meet ("VEXB", the card says "VEXA").
constexpr const char *kScript =
    "# the label, checked\n"
    "send 20 00 80 00 00 00     => 9000 3B *\n"
    "isoin 0 00 A4 00 00 2F00   => 61??\n"
    "isoout 0 00 C0 00 00 $SW2  => 9000 6F *\n"
    "isoout 0 00 B0 00 00 0E    => 9000 56 45 58 42 *\n";
constexpr const char *kFailure =
    "card.kvs:5: isoout 0 00 B0 00 00 0E: expected DATA 56 45 58 42 *, got 56 45 58 41 20 "
    "44 45 4D 4F 20 43 41 52 44";

class ScriptRunTest : public ConsoleWindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(folder.path());  // a COMMANDS of its own
        std::ofstream(path("card.kvs").toStdString()) << kScript;
    }
    void TearDown() override {
        QDir::setCurrent(previous);
        ConsoleWindowTest::TearDown();
    }
    QString path(const char *name) const { return folder.filePath(name); }

    static std::string readAll(const QString &file) {
        std::ifstream in(file.toStdString());
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static std::vector<QStringList> cells(runtime::qt::Window &history) {
        const QAbstractItemModel *model = history.findChild<QTableView *>("exchanges")->model();
        std::vector<QStringList> rows;
        for (int r = 0; r < model->rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < model->columnCount(); ++c) row << model->index(r, c).data().toString();
            rows.push_back(row);
        }
        return rows;
    }

    QTemporaryDir folder;
    QString previous;
};

TEST_F(ScriptRunTest, EachLineGoesThroughTheConsoleWithItsVerdictInTheHistory) {
    startReader();
    DriverLink link(port);
    CommandConsole console(link);
    ExchangeHistory history;
    console.recordInto(history);
    std::string error;
    const auto lines = parseScript(kScript, "card.kvs", error);
    ASSERT_TRUE(lines) << error;
    const std::size_t framesBefore = framesReceived(*emulator).size();

    ScriptRun run(console, history, "card.kvs", *lines);
    while (!run.finished()) run.runNext();
    EXPECT_EQ(run.commands(), 4);
    EXPECT_EQ(run.failures(), 1);
    EXPECT_EQ(run.firstFailure(), kFailure);
    EXPECT_EQ(run.summary(), std::string("Guión card.kvs: 4 comandos, 1 fallos\n") + kFailure);

    ASSERT_EQ(history.size(), 4u);
    const char *verdicts[] = {"card.kvs:2: cumple", "card.kvs:3: cumple", "card.kvs:4: cumple",
                              "card.kvs:5: expected DATA 56 45 58 42 *, got 56 45 58 41 20 44 45 4D 4F 20 43 41 52 "
                              "44"};
    for (std::size_t i = 0; i < history.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(history.at(i).verdict, verdicts[i]);
        EXPECT_EQ(exchangeColumn(history.at(i), ColumnVerdict), verdicts[i]);
    }
    // $SW2: the GET RESPONSE asked for what the select announced.
    EXPECT_EQ(history.at(1).sw1, 0x61);
    EXPECT_EQ(history.at(2).header.p3, history.at(1).sw2);
    EXPECT_EQ(history.at(2).received.size(), history.at(1).sw2);
    // The reader got the frames the shell tool sends for the same lines.
    const auto frames = framesReceived(*emulator);
    ASSERT_EQ(frames.size(), framesBefore + 4);
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        ReaderCommand command = (*lines)[i].command;
        if ((*lines)[i].takesReply) command.p3 = history.at(1).sw2;
        EXPECT_EQ(frames[framesBefore + i], commandFrame(command));
    }
    // The panel shows the last line's request and reply, as after the
    // operator's own send.
    EXPECT_EQ(console.code, "21");
    EXPECT_EQ(console.ins, "B0");
    EXPECT_EQ(console.sw1, "90");
    EXPECT_EQ(console.replyHexShown(), "56 45 58 41 20 44 45 4D 4F 20 43 41 52 44");

    // Stopped between lines: the lines run are counted, and where it stopped.
    ScriptRun stopped(console, history, "card.kvs", *lines);
    stopped.runNext();
    stopped.stop();
    EXPECT_TRUE(stopped.finished());
    EXPECT_EQ(stopped.summary(), "Guión card.kvs: 1 comandos, 0 fallos\nDetenido con Escape antes de la línea 3");
}

TEST_F(ScriptRunTest, AScriptFromTheMenuThenTheHistorySavedAsAScriptAndAsRules) {
    startReader();
    std::vector<runtime::MessageBoxRequest> boxes;
    interaction.answerer = [&](const runtime::MessageBoxRequest &box) {
        boxes.push_back(box);
        return static_cast<int>(runtime::ButtonOk);
    };
    runtime::OpenFileRequest asked;
    QString answer = path("card.kvs");
    interaction.openFileAnswerer = [&](const runtime::OpenFileRequest &request) {
        asked = request;
        return answer;
    };
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        QStringList utilities;
        for (QAction *a : w.menus()->menu(w.menus()->idOf("utilities"))->actions()) utilities << a->text();
        EXPECT_EQ(utilities, QStringList({"&Commandos", "&Importar...", "&Historial...", "&Ejecutar guión..."}));
        const int storedBefore = library.commandsFile().records();

        choose(w, "utilities.script");
        EXPECT_EQ(asked.title, "Ejecutar guión");
        EXPECT_EQ(asked.filter, "Guiones|*.kvs;*.txt");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "Guión");
        EXPECT_EQ(boxes[0].text, std::string("Guión card.kvs: 4 comandos, 1 fallos\n") + kFailure);
        EXPECT_EQ(boxes[0].icon, runtime::MessageIcon::Exclamation);
        EXPECT_EQ(text(w, "CODE"), "21");
        EXPECT_EQ(text(w, "INS"), "B0");
        EXPECT_EQ(text(w, "SW1"), "90");
        EXPECT_EQ(text(w, "replyBytes"), "VEXA DEMO CARD");
        EXPECT_EQ(library.commandsFile().records(), storedBefore) << "a script stores no command";

        choose(w, "utilities.history");
        runtime::qt::Window *history = nullptr;
        ASSERT_TRUE(eventually([&] { return (history = w.findChild<runtime::qt::Window *>("HISTORIAL$WINDOW")); }));
        std::vector<QStringList> rows = cells(*history);
        ASSERT_EQ(rows.size(), 4u);
        EXPECT_EQ(rows[0][ColumnVerdict], "card.kvs:2: cumple");
        EXPECT_EQ(rows[1][ColumnHeader], "A1 00 A4 00 00 02");
        EXPECT_EQ(rows[3][ColumnVerdict].toStdString(), std::string(kFailure).erase(12, 25));
        EXPECT_EQ(cells(*history)[0].size(), kExchangeColumns);

        // Saved as a script: the replies are its expectations, so that it
        // passes when run again.
        QString saveAnswer = path("sesion.kvs");
        runtime::OpenFileRequest saveAsked;
        interaction.saveFileAnswerer = [&](const runtime::OpenFileRequest &request) {
            saveAsked = request;
            return saveAnswer;
        };
        auto *saveScript = history->findChild<QPushButton *>("saveScript");
        ASSERT_NE(saveScript, nullptr);
        EXPECT_EQ(saveScript->text(), "Guardar como &guión...");
        saveScript->click();
        EXPECT_EQ(saveAsked.filter, "Guiones|*.kvs;*.txt");
        const std::string saved = readAll(saveAnswer);
        std::string savedError;
        const auto savedLines = parseScript(saved, "sesion.kvs", savedError);
        ASSERT_TRUE(savedLines) << savedError << "\n" << saved;
        ASSERT_EQ(savedLines->size(), 4u) << saved;
        EXPECT_EQ((*savedLines)[1].text, "send A1 00 A4 00 00 02 2F00") << saved;
        EXPECT_EQ((*savedLines)[3].expectation().text(), "9000 56 45 58 41 20 44 45 4D 4F 20 43 41 52 44") << saved;
        answer = saveAnswer;
        boxes.clear();
        choose(w, "utilities.script");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Guión sesion.kvs: 4 comandos, 0 fallos");
        EXPECT_EQ(boxes[0].icon, runtime::MessageIcon::Information);
        ASSERT_TRUE(eventually([&] { return cells(*history).size() == 8; }));
        EXPECT_EQ(cells(*history)[7][ColumnVerdict], "sesion.kvs:5: cumple");

        // Saved as rules, the first four rows selected: the emulator reads
        // them and answers each frame as the card did.
        auto *view = history->findChild<QTableView *>("exchanges");
        view->clearSelection();
        for (int row = 0; row < 4; ++row)
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        saveAnswer = path("sesion.rules");
        auto *saveRules = history->findChild<QPushButton *>("saveRules");
        ASSERT_NE(saveRules, nullptr);
        EXPECT_EQ(saveRules->text(), "Guardar como &reglas...");
        saveRules->click();
        const std::string rulesText = readAll(saveAnswer);
        kvr7x::emu::RuleSet rules;
        std::string error;
        ASSERT_TRUE(rules.parse(rulesText, error)) << error << "\n" << rulesText;
        EXPECT_EQ(rules.size(), 4u) << rulesText;
        const auto label = rules.match({0x21, 0x00, 0xB0, 0x00, 0x00, 0x0E});
        ASSERT_TRUE(label) << rulesText;
        EXPECT_EQ(std::string(label->data.begin(), label->data.end()), "VEXA DEMO CARD");
        EXPECT_EQ(label->sw1, 0x90);

        // A file that cannot be written: a box with the system's reason.
        saveAnswer = path("no-such-folder/sesion.kvs");
        boxes.clear();
        saveScript->click();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "No se ha podido guardar el historial en " + saveAnswer.toStdString() +
                                     ": No such file or directory");
        history->close();
    });
}

TEST_F(ScriptRunTest, EscapeBetweenLinesStopsTheRunAndABadScriptSendsNothing) {
    startReader();
    std::vector<runtime::MessageBoxRequest> boxes;
    interaction.answerer = [&](const runtime::MessageBoxRequest &box) {
        boxes.push_back(box);
        return static_cast<int>(runtime::ButtonOk);
    };
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        // The operator presses Escape as the run begins: it stops after the
        // line under way.
        interaction.openFileAnswerer = [&](const runtime::OpenFileRequest &) {
            QApplication::postEvent(&w, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
            return path("card.kvs");
        };
        const std::size_t framesBefore = framesReceived(*emulator).size();
        choose(w, "utilities.script");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Guión card.kvs: 1 comandos, 0 fallos\nDetenido con Escape antes de la línea 3");
        EXPECT_EQ(framesReceived(*emulator).size(), framesBefore + 1);

        // A script error is told before anything is sent.
        std::ofstream(path("bad.kvs").toStdString()) << "reset\nisoout 0 00 B0 00 00 0E => 9000 5\n";
        interaction.openFileAnswerer = [&](const runtime::OpenFileRequest &) { return path("bad.kvs"); };
        boxes.clear();
        choose(w, "utilities.script");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "El guión bad.kvs no se ha ejecutado: bad.kvs:2: bad pattern token \"5\"");
        interaction.openFileAnswerer = [&](const runtime::OpenFileRequest &) { return folder.path(); };
        boxes.clear();
        choose(w, "utilities.script");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0].text.find("no se ha ejecutado: cannot read "), std::string::npos) << boxes[0].text;
        EXPECT_EQ(framesReceived(*emulator).size(), framesBefore + 1);
    });
}

}  // namespace
}  // namespace kvr::console::testing
