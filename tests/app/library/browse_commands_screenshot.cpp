// Renders the command browser over a small library to a PNG file:
//   xvfb-run -a kvr_browse_commands_screenshot FOLDER
// writes FOLDER/browse_commands.png.  Runs on whatever display Qt finds (an
// X server under xvfb-run).
#include "library/browse_commands.h"

#include "library/commands_file.h"
#include "library/commands_library.h"
#include "library/commands_use.h"
#include "runtime/window.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

int main(int argc, char **argv) {
    using namespace kvr::library;
    const QDir folder(QFileInfo(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(".")).absoluteFilePath());
    if (!folder.exists() && !QDir().mkpath(folder.path())) return 1;
    QTemporaryDir home;
    setenv("XDG_CONFIG_HOME", QDir(home.path()).filePath("config").toLocal8Bit().constData(), 1);
    QDir::setCurrent(home.path());
    QApplication app(argc, argv);

    CommandsLibrary library;
    CommandsUse use(library);
    use.acquire();
    const char *commands[][4] = {
        {"Visa", "Seleccionar fichero", "A4", "3F00"},
        {"Visa", "Leer binario", "B0", ""},
        {"Amex", "Verificar PIN", "20", "31323334"},
        {"emv", "Get processing options", "A8", "8300"},
        {"SIM", "Status", "F2", ""},
        {"SIM", "Leer registro", "B2", ""},
    };
    for (const auto &c : commands) {
        Commands &record = library.commandsRecord();
        clearCommands(record);
        setField(record.card, c[0]);
        setField(record.name, c[1]);
        setField(record.frsCode, "A1");
        setField(record.frsCla, "00");
        setField(record.frsIns, c[2]);
        setField(record.frsP1, "00");
        setField(record.frsP2, "00");
        setField(record.frsP3, "02");
        setField(record.data, c[3]);
        if (library.commandsFile().add() != 0) return 1;
    }

    bool saved = false;
    kvr::runtime::setWindowRunHook([&](kvr::runtime::Window &w) {
        w.activateWindow();
        (void)QTest::qWaitForWindowActive(&w, 1000);
        QTest::qWait(100);
        const QString path = folder.filePath("browse_commands.png");
        saved = w.grab().save(path);
        if (saved) std::printf("%s\n", qPrintable(path));
        w.close();
    });
    browseCommands(library);
    return saved ? 0 : 1;
}
