// Renders the main window to a PNG, with a command sent to the reader
// emulator so that both panels hold something:
//   xvfb-run -a kvr_console_screenshot main_window.png
// Runs on whatever display Qt finds (an X server under xvfb-run).
#include "main_window.h"

#include <emulator.h>
#include <kvr7x.h>
#include <menus.h>
#include <window.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString("main_window.png");
    const QString target = QFileInfo(out).absoluteFilePath();
    QTemporaryDir home;
    setenv("XDG_CONFIG_HOME", QDir(home.path()).filePath("config").toLocal8Bit().constData(), 1);
    QDir::setCurrent(home.path());
    QApplication app(argc, argv);

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

    bool saved = false;
    kvr::runtime::setWindowRunHook([&](kvr::runtime::Window &w) {
        if (w.name() != "MAIN$WINDOW") return;
        w.activateWindow();
        (void)QTest::qWaitForWindowActive(&w, 1000);
        auto choose = [&](const char *item) { w.menus()->action(w.menus()->idOf(item))->trigger(); };
        auto type = [&](const char *name, const QString &text) {
            auto *field = w.findChild<QLineEdit *>(name);
            field->setFocus(Qt::TabFocusReason);
            field->selectAll();  // as entering with Tab does
            QTest::keyClicks(field, text);
        };
        choose("reader.activate.async");
        QTest::mouseClick(w.findChild<QPushButton *>("send"), Qt::LeftButton);
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
        saved = w.grab().save(target);
        w.close();
    });
    kvr::console::runMainWindow(port, "COM2");
    QXCLOSE(port);
    emulator.stop();
    if (!saved) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(target));
        return 1;
    }
    std::printf("%s\n", qPrintable(target));
    return 0;
}
