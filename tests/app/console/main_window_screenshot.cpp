// Renders the main window, with a command sent to the reader emulator so
// that both panels hold something, the reader information and About
// windows, and the import ("Utilidades > Importar...") to PNG files in a
// folder:
//   xvfb-run -a kvr_console_screenshot FOLDER
// writes FOLDER/main_window.png, FOLDER/reader_info.png, FOLDER/about.png,
// FOLDER/import_dialog.png (the open-file dialog over a folder with command
// files), FOLDER/import_done.png (the main window after the import),
// FOLDER/import_error.png (the "ERROR" box for a read-only file),
// FOLDER/status_word_tip.png (the tip of SW1 after a 6A 82 reply) and
// FOLDER/history_window.png (Utilidades > Historial...), history_place.png
// (where it opens, beside the main window),
// FOLDER/atr_decoding_tip.png and FOLDER/fci_decoding_tip.png (the tip of
// the reply views after the card's activation and after an FCI), and a card
// script run from Utilidades > Ejecutar guión...: FOLDER/script_box.png (the
// box with its counts and its failed line) and FOLDER/script_history.png
// (the history with each line's verdict).
// Runs on whatever display Qt finds (an X server under xvfb-run).
#include "console/main_window.h"

#include "command_files.h"
#include "library/commands_library.h"
#include "runtime/file_dialog.h"
#include "runtime/qt/menus.h"
#include "runtime/qt/window.h"
#include "screenshots.h"
#include "scripted_interaction.h"
#include "when_shown.h"

#include <emulator.h>
#include <kvr7x.h>

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolTip>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv) {
    kvr::test_support::Screenshots shots(argc, argv);
    if (!shots.ready()) return 1;

    kvr7x::emu::Config config;
    config.port = 0;
    kvr7x::emu::Emulator emulator(config);
    std::string error;
    if (!emulator.start(error)) {
        std::fprintf(stderr, "emulator: %s\n", error.c_str());
        return 1;
    }
    const int32_t port = QXOPEN(emulator.url().c_str());
    if (port < 0) {
        std::fprintf(stderr, "cannot open %s\n", emulator.url().c_str());
        return 1;
    }

    // The real boxes and dialogs; the windows are photographed as they run.
    kvr::test_support::ScriptedInteraction operatorSide;
    operatorSide.windowRunHook = [&](kvr::runtime::qt::Window &w) {
        shots.settle(w);
        if (w.name() != "MAIN$WINDOW") {
            shots.save(w, w.name() == "ABOUT$WINDOW" ? "about.png" : "reader_info.png");
            w.close();
            return;
        }
        auto choose = [&](const char *item) { w.menus()->action(w.menus()->idOf(item))->trigger(); };
        auto type = [&](const char *name, const QString &text) {
            auto *field = w.findChild<QLineEdit *>(name);
            field->setFocus(Qt::TabFocusReason);
            field->selectAll();  // as entering with Tab does
            QTest::keyClicks(field, text);
        };
        // The tip of a reply view: what its data decode to.
        auto decodingTip = [&](const char *file) {
            auto *view = w.findChild<QLineEdit *>("replyHex");
            QTest::mouseMove(view, view->rect().center());
            QToolTip::showText(view->mapToGlobal(view->rect().center()), view->toolTip(), view);
            QTest::qWait(400);
            shots.saveScreen(w.frameGeometry().adjusted(0, 0, 360, 220), file);
            QToolTip::hideText();
        };
        choose("reader.activate.async");
        QTest::mouseClick(w.findChild<QPushButton *>("send"), Qt::LeftButton);
        decodingTip("atr_decoding_tip.png");
        choose("card.isoIn");
        type("CLA", "00");
        type("INS", "A4");
        type("P1", "00");
        type("P2", "00");
        type("requestHex", "2F00");
        QTest::mouseClick(w.findChild<QPushButton *>("send"), Qt::LeftButton);
        choose("card.isoOut");
        type("CLA", "00");
        type("INS", "B0");
        type("P1", "00");
        type("P2", "00");
        type("P3", "0E");
        QTest::mouseClick(w.findChild<QPushButton *>("send"), Qt::LeftButton);
        QTest::qWait(200);
        shots.save(w, "main_window.png");

        // What a status word means: the tip of SW1 after the card answered
        // 6A 82 to the select of a file it does not have.
        choose("card.isoIn");
        type("CLA", "00");
        type("INS", "A4");
        type("P1", "00");
        type("P2", "0C");
        type("requestHex", "7F7F");
        QTest::mouseClick(w.findChild<QPushButton *>("send"), Qt::LeftButton);
        auto *sw1 = w.findChild<QLineEdit *>("SW1");
        const QPoint at = sw1->mapToGlobal(sw1->rect().center());
        QTest::mouseMove(sw1, sw1->rect().center());
        QToolTip::showText(at, sw1->toolTip(), sw1);
        QTest::qWait(400);
        shots.saveScreen(w.frameGeometry().adjusted(0, 0, 120, 40), "status_word_tip.png");
        QToolTip::hideText();

        // DF 7F10 selected with its FCI asked for, then fetched with GET
        // RESPONSE: the FCI decoded as the tip of the reply views.
        choose("card.isoIn");
        type("CLA", "00");
        type("INS", "A4");
        type("P1", "00");
        type("P2", "00");
        type("requestHex", "7F10");
        QTest::mouseClick(w.findChild<QPushButton *>("send"), Qt::LeftButton);
        const QString le = w.findChild<QLineEdit *>("SW2")->text();
        choose("card.isoOut");
        type("CLA", "00");
        type("INS", "C0");
        type("P1", "00");
        type("P2", "00");
        type("P3", le);
        QTest::mouseClick(w.findChild<QPushButton *>("send"), Qt::LeftButton);
        decodingTip("fci_decoding_tip.png");

        // The session's history, open beside the main window.
        choose("utilities.history");
        if (auto *history = w.findChild<kvr::runtime::qt::Window *>("HISTORIAL$WINDOW")) {
            kvr::test_support::Screenshots::settle(*history);
            shots.save(*history, "history_window.png");
            // Where it opens: the screen around both windows.
            shots.saveScreen(w.frameGeometry().united(history->frameGeometry()).adjusted(-8, -8, 8, 8),
                             "history_place.png");
            history->close();
        }
        // A card script of four lines, one of whose expectations the card
        // does not meet: the box at its end, then the verdicts.
        {
            operatorSide.openFileAnswerer = [](const kvr::runtime::OpenFileRequest &) {
                return QDir::current().filePath("card.kvs");
            };
            kvr::test_support::WhenShown<QDialog> box([&](QDialog &b) {
                QTest::qWait(100);
                shots.save(b, "script_box.png");
                b.accept();
            });
            choose("utilities.script");
            operatorSide.openFileAnswerer = nullptr;
        }
        choose("utilities.history");
        if (auto *history = w.findChild<kvr::runtime::qt::Window *>("HISTORIAL$WINDOW")) {
            kvr::test_support::Screenshots::settle(*history);
            history->resize(history->width() + 360, history->height());
            QTest::qWait(200);
            shots.save(*history, "script_history.png");
            history->close();
        }
        choose("reader.info");
        choose("help.about");

        // The import: the dialog over a folder of command files, the main
        // window after it, and the box for a file that cannot be opened.
        {
            kvr::test_support::WhenShown<QFileDialog> dialog([&](QFileDialog &d) {
                QTest::qWait(400);  // the folder's listing fills in
                d.selectFile(QStringLiteral("OTROS.tps"));
                if (auto *name = d.findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                    name->setText(QStringLiteral("OTROS.tps"));
                QTest::qWait(100);
                shots.save(d, "import_dialog.png");
                static_cast<QDialog &>(d).accept();
            });
            choose("utilities.import");
        }
        QTest::qWait(100);
        shots.save(w, "import_done.png");
        {
            operatorSide.openFileAnswerer = [](const kvr::runtime::OpenFileRequest &) {
                return QDir::current().filePath("ROTO.tps");
            };
            kvr::test_support::WhenShown<QDialog> box([&](QDialog &b) {
                QTest::qWait(100);
                shots.save(b, "import_error.png");
                b.accept();
            });
            choose("utilities.import");
            operatorSide.openFileAnswerer = nullptr;
        }
        w.close();
    };
    // Command files to import: another installation's library, and a file
    // that is no command file at all.
    std::vector<kvr::testing::RecordBytes> others;
    const char *cards[] = {"Visa", "Visa", "SIM", "SIM", "EMV"};
    for (int n = 0; n < 5; ++n) others.push_back(kvr::testing::numberedCommand(n, cards[n]));
    std::FILE *broken = std::fopen("ROTO.tps", "w");
    const bool brokenWritten = broken && std::fputs("no es un archivo de comandos\n", broken) >= 0;
    if (broken) std::fclose(broken);
    if (!kvr::testing::writeCommandFile("OTROS.tps", others) || !brokenWritten) {
        std::fprintf(stderr, "cannot write the command files to import\n");
        return 1;
    }
    if (std::FILE *script = std::fopen("card.kvs", "w")) {
        std::fputs(
            "send 20 00 80 00 00 00     => 9000 3B *\n"
            "isoin 0 00 A4 00 00 2F00   => 61??\n"
            "isoout 0 00 C0 00 00 $SW2  => 9000 6F *\n"
            "isoout 0 00 B0 00 00 0E    => 9000 56 45 58 42 *\n",
            script);
        std::fclose(script);
    }
    kvr::library::CommandsLibrary library(operatorSide);
    kvr::console::runMainWindow(operatorSide, library, port, "COM2");
    QXCLOSE(port);
    emulator.stop();
    return shots.saved() == 13 ? 0 : 1;
}
