// The history window against the reader emulator: the exchanges of the
// session listed with their fields, following new ones while open, copied,
// saved as text and as CSV that read back equal to the list, a refused path
// answered with the system's reason, cleared, closed with its place kept;
// and the log named in the settings file.
#include "window_test_support.h"

#include "session/history_file.h"
#include "runtime/file_dialog.h"
#include "runtime/qt/menus.h"
#include "runtime/message_box.h"
#include "runtime/profile.h"
#include "runtime/settings_file.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace kvr::console::testing {

using namespace session;
namespace {

class HistoryWindowTest : public ConsoleWindowTest {
protected:
    void TearDown() override {
        std::remove(settingsFilePath().c_str());
        ConsoleWindowTest::TearDown();
    }

    static runtime::qt::Window *historyWindow(runtime::qt::Window &main) {
        return main.findChild<runtime::qt::Window *>("HISTORIAL$WINDOW");
    }

    // The cells of the list, row by row.
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

    static QString readAll(const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString("<unreadable>");
    }

    // Selects the card's ISO In "select" of file 7F7F, which it does not have.
    static void selectMissingFile(runtime::qt::Window &w) {
        choose(w, "card.isoIn");
        type(w, "INS", "A4");
        type(w, "P2", "0C");
        type(w, "requestHex", "7F7F");
        clickSend(w);
    }
};

TEST_F(HistoryWindowTest, ListsTheExchangesFollowsThemAndSavesThemAsListed) {
    startReader();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    std::vector<runtime::MessageBoxRequest> boxes;
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "reader.status");
        clickSend(w);
        choose(w, "reader.activate.async");
        clickSend(w);
        selectMissingFile(w);
        choose(w, "reader.reset");
        const QString statusShown = w.statusText();

        EXPECT_EQ(w.menus()->action(w.menus()->idOf("utilities.history"))->text(), "&Historial...");
        // Opened by the keyboard: Alt+U, then H.
        QTest::keyClick(&w, Qt::Key_U, Qt::AltModifier);
        QWidget *menu = QApplication::activePopupWidget();
        ASSERT_NE(menu, nullptr) << "Alt+U opens no menu";
        QTest::keyClick(menu, Qt::Key_H);
        runtime::qt::Window *history = nullptr;
        ASSERT_TRUE(eventually([&] { return (history = historyWindow(w)) != nullptr; }));
        ASSERT_NE(history, nullptr);
        EXPECT_TRUE(history->isVisible());
        EXPECT_EQ(history->windowTitle(), "Historial");
        // Its first place: on the screen, and beside the main window, not
        // over its menus and request panel.
        const QRect screen = w.screen()->availableGeometry();
        const QRect main = w.frameGeometry(), placed = history->frameGeometry();
        EXPECT_TRUE(screen.contains(placed));
        EXPECT_FALSE(placed.intersects(main));
        std::vector<QStringList> rows = cells(*history);
        ASSERT_EQ(rows.size(), 4u);
        EXPECT_EQ(rows[0][2], "20 00 10 00 00 00");
        EXPECT_EQ(rows[0][4], "00 00 00 00");
        EXPECT_EQ(rows[0][7], "") << "00 00 means nothing";
        EXPECT_EQ(rows[0][6], "Comando procesado correctamente");
        EXPECT_EQ(rows[1][2], "20 00 80 00 00 00");
        EXPECT_TRUE(rows[1][8].startsWith("ATR de 12 bytes, TS 3B: convención directa; ")) << rows[1][8].toStdString();
        EXPECT_EQ(rows[0][8], "") << "no reply data, nothing decoded";
        EXPECT_EQ(rows[2][2], "A1 00 A4 00 0C 02");
        EXPECT_EQ(rows[2][3], "7F 7F");
        EXPECT_EQ(rows[2][4], "00 6A 82 00");
        EXPECT_EQ(rows[2][7], "Fichero o aplicación no encontrado");
        EXPECT_EQ(rows[3][2], "Reset");
        EXPECT_EQ(rows[3][6], statusShown);
        EXPECT_FALSE(rows[3][5].isEmpty()) << "the identification answer";
        for (const QStringList &row : rows)
            EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}$").match(row[0]).hasMatch())
                << row[0].toStdString();

        // While open it follows the exchanges, the newest in view.
        clickSend(w);
        EXPECT_TRUE(eventually([&] { return cells(*history).size() == 5; }));
        rows = cells(*history);
        ASSERT_EQ(rows.size(), 5u);
        EXPECT_EQ(rows[4][2], "A1 00 A4 00 0C 02");
        auto *view = history->findChild<QTableView *>("exchanges");
        QApplication::processEvents();
        EXPECT_EQ(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());

        // Copiar: every row selected (Ctrl+A), as line pairs, and the
        // activation's decoded ATR on a third line.
        view->setFocus();
        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        QApplication::clipboard()->clear();
        QTest::mouseClick(history->findChild<QPushButton *>("copy"), Qt::LeftButton);
        const QString copied = QApplication::clipboard()->text();
        EXPECT_EQ(copied.count('\n'), 11);
        EXPECT_TRUE(copied.contains("\n              = " + rows[1][8] + "\n")) << copied.toStdString();
        EXPECT_TRUE(copied.contains("> A1 00 A4 00 0C 02  7F 7F\n")) << copied.toStdString();

        // Guardar, as text and as CSV: both read back as listed.
        QString answer = folder.filePath("historial.txt");
        runtime::OpenFileRequest asked;
        interaction.saveFileAnswerer = [&](const runtime::OpenFileRequest &r) {
            asked = r;
            return answer;
        };
        interaction.answerer = [&](const runtime::MessageBoxRequest &box) {
            boxes.push_back(box);
            return static_cast<int>(runtime::ButtonOk);
        };
        QTest::mouseClick(history->findChild<QPushButton *>("save"), Qt::LeftButton);
        EXPECT_EQ(asked.title, "Guardar historial");
        EXPECT_EQ(readAll(answer), copied);
        answer = folder.filePath("historial.csv");
        QTest::mouseClick(history->findChild<QPushButton *>("save"), Qt::LeftButton);
        QStringList lines = readAll(answer).split("\r\n", Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 6);
        lines.removeFirst();
        for (int r = 0; r < 5; ++r) {
            SCOPED_TRACE(r);
            // No field of these exchanges holds a comma but the last, the
            // decoding, which is quoted when it does.
            const QStringList fields = lines[r].split(',').mid(0, 18);
            ASSERT_EQ(fields.size(), 18);
            const QString decoding = lines[r].section(',', 18);
            const QString quoted = '"' + QString(rows[r][8]).replace("\"", "\"\"") + '"';
            EXPECT_EQ(decoding, rows[r][8].contains(',') ? quoted : rows[r][8]);
            EXPECT_EQ(fields[1], rows[r][0]);
            EXPECT_EQ(fields[2], rows[r][1]);
            EXPECT_EQ(fields[3], rows[r][2] == "Reset" ? "Reset" : "Comando");
            EXPECT_EQ(rows[r][2] == "Reset" ? "" : fields.mid(4, 6).join(' '), rows[r][2] == "Reset" ? "" : rows[r][2]);
            EXPECT_EQ(fields[10], rows[r][3]);
            EXPECT_EQ(fields.mid(11, 4).join(' '), rows[r][4]);
            EXPECT_EQ(fields[15], rows[r][5]);
            EXPECT_EQ(fields[16], rows[r][6]);
            EXPECT_EQ(fields[17], rows[r][7]);
        }
        EXPECT_TRUE(boxes.empty());

        // A path that cannot be written: a box with the system's reason.
        answer = folder.filePath("missing/historial.txt");
        QTest::mouseClick(history->findChild<QPushButton *>("save"), Qt::LeftButton);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "Historial");
        EXPECT_EQ(boxes[0].icon, runtime::MessageIcon::Exclamation);
        EXPECT_EQ(boxes[0].text,
                  "No se ha podido guardar el historial en " + answer.toStdString() + ": No such file or directory");
        // Cancelled: nothing written, nothing said.
        answer.clear();
        QTest::mouseClick(history->findChild<QPushButton *>("save"), Qt::LeftButton);
        EXPECT_EQ(boxes.size(), 1u);

        // Borrar empties it; Cerrar (here Escape) closes it and keeps its place.
        // By the keyboard: Alt+B is "&Borrar".
        history->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(history, 1000));
        QTest::keyClick(history, Qt::Key_B, Qt::AltModifier);
        EXPECT_TRUE(eventually([&] { return cells(*history).empty(); }));
        choose(w, "reader.status");
        clickSend(w);
        EXPECT_TRUE(eventually([&] { return cells(*history).size() == 1; }));
        QTest::keyClick(history, Qt::Key_Escape);
        EXPECT_FALSE(history->isVisible());
        history = nullptr;  // deleted once the events are handled
        EXPECT_NE(runtime::readProfileString("Historial", "XPosit", "", runtime::kSettingsFile), "");
        // Opened again, before the closed one is gone, it follows as well.
        choose(w, "utilities.history");
        runtime::qt::Window *again = nullptr;
        for (runtime::qt::Window *h : w.findChildren<runtime::qt::Window *>("HISTORIAL$WINDOW"))
            if (h->isVisible()) again = h;
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(cells(*again).size(), 1u);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        clickSend(w);
        EXPECT_TRUE(eventually([&] { return cells(*again).size() == 2; }));
        // The status bar kept its own text throughout.
        EXPECT_EQ(w.statusText(), "Comando procesado correctamente");
    });
}

TEST_F(HistoryWindowTest, TheLogNamedInTheSettingsGetsEveryExchange) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString log = folder.filePath("sesion.log");
    ASSERT_TRUE(runtime::writeProfileString("Historial", "Archivo", log.toStdString(), runtime::kSettingsFile));
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "reader.status");
        clickSend(w);
        choose(w, "reader.reset");
        const QStringList lines = readAll(log).split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 5) << readAll(log).toStdString();
        EXPECT_TRUE(lines[0].startsWith("Sesión "));
        EXPECT_TRUE(lines[1].endsWith("> 20 00 10 00 00 00"));
        EXPECT_TRUE(lines[2].endsWith("< 00 00 00 00  Comando procesado correctamente")) << lines[2].toStdString();
        EXPECT_TRUE(lines[3].endsWith("> Reset"));
    });

    // A log that cannot be opened is said in the status bar at the start;
    // the console works on.
    const std::string missing = folder.filePath("no/sesion.log").toStdString();
    ASSERT_TRUE(runtime::writeProfileString("Historial", "Archivo", missing, runtime::kSettingsFile));
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        EXPECT_EQ(w.statusText().toStdString(),
                  "El historial no se guarda en " + missing + ": No such file or directory");
        choose(w, "reader.status");
        clickSend(w);
        EXPECT_EQ(w.statusText(), "Comando procesado correctamente");
    });
}

// [Historial] Archivo= naming a FIFO: without a reader, the manager opens
// at once and says why there is no log; with a reader that stopped reading,
// the exchanges go on and the status bar says once that lines are dropped.
TEST_F(HistoryWindowTest, ALogThatIsAFifoNeverHoldsTheManagerUp) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string fifo = folder.filePath("fifo").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(runtime::writeProfileString("Historial", "Archivo", fifo, runtime::kSettingsFile));
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        EXPECT_EQ(w.statusText().toStdString(),
                  "El historial no se guarda en " + fifo + ": es una FIFO que ningún programa lee");
        choose(w, "reader.status");
        clickSend(w);
        EXPECT_EQ(w.statusText(), "Comando procesado correctamente");
    });

    // A reader that reads nothing, and a pipe already full.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    const int filler = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ASSERT_GE(filler, 0);
    ::fcntl(filler, F_SETPIPE_SZ, 4096);
    const std::string fill(4096, '.');
    while (::write(filler, fill.data(), fill.size()) > 0) {}
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "reader.status");
        clickSend(w);
        EXPECT_EQ(w.statusText().toStdString(),
                  "El historial " + fifo + " no admite las líneas tan deprisa como llegan: se pierden algunas");
        clickSend(w);
        EXPECT_EQ(w.statusText(), "Comando procesado correctamente") << "said once";
    });
    ::close(filler);
    ::close(reader);
}

}  // namespace
}  // namespace kvr::console::testing
