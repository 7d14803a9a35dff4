// Renders the port-selection window "Setup IFD Handler" to a PNG file:
//   xvfb-run -a kvr_port_selection_screenshot FOLDER
// writes FOLDER/port_selection.png.  Runs on whatever display Qt finds (an X
// server under xvfb-run).
#include "runtime/window.h"
#include "startup/port_selection.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

int main(int argc, char **argv) {
    const QDir folder(QFileInfo(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(".")).absoluteFilePath());
    if (!folder.exists() && !QDir().mkpath(folder.path())) return 1;
    QTemporaryDir home;
    setenv("XDG_CONFIG_HOME", QDir(home.path()).filePath("config").toLocal8Bit().constData(), 1);
    QDir::setCurrent(home.path());
    QApplication app(argc, argv);

    bool saved = false;
    kvr::runtime::setWindowRunHook([&](kvr::runtime::Window &w) {
        w.activateWindow();
        (void)QTest::qWaitForWindowActive(&w, 1000);
        QTest::qWait(100);
        const QString path = folder.filePath("port_selection.png");
        saved = w.grab().save(path);
        if (saved) std::printf("%s\n", qPrintable(path));
        w.close();
    });
    kvr::startup::selectPort();
    return saved ? 0 : 1;
}
