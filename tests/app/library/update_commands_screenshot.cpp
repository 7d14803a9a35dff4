// Renders the command edit form, changing a stored command whose hot key is
// F2, to PNG files in a folder:
//   xvfb-run -a kvr_update_commands_screenshot FOLDER
// writes FOLDER/update_commands.png, and FOLDER/update_commands_notice.png
// with the longest notice of the status bar's first zone.  Runs on whatever display Qt finds (an
// X server under xvfb-run).
#include "library/update_commands.h"

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
    Commands &record = library.commandsRecord();
    clearCommands(record);
    setField(record.card, "Visa");
    setField(record.name, "Seleccionar fichero");
    setField(record.frsCode, "A1");
    setField(record.frsCla, "00");
    setField(record.frsIns, "A4");
    setField(record.frsP1, "??");
    setField(record.frsP2, "00");
    setField(record.frsP3, "02");
    setField(record.data, "3F00");
    record.hotKey = 0x71;
    if (library.commandsFile().add() != 0) return 1;
    library.commandsFile().watch();
    library.commandsFile().readByNumber(library.commandsFile().recordNumber());

    bool saved = false;
    kvr::runtime::setWindowRunHook([&](kvr::runtime::Window &w) {
        w.activateWindow();
        (void)QTest::qWaitForWindowActive(&w, 1000);
        QTest::qWait(100);
        const QString path = folder.filePath("update_commands.png");
        saved = w.grab().save(path);
        w.setStatusText(QString::fromUtf8("Otra estación lo borró: OK lo añadirá de nuevo"), 0);
        w.setStatusText(QString::fromUtf8("Se añadirá un registro"), 1);
        const QString notice = folder.filePath("update_commands_notice.png");
        saved = saved && w.grab().save(notice);
        if (saved) std::printf("%s\n%s\n", qPrintable(path), qPrintable(notice));
        w.close();
    });
    library.formCall().request = FormChange;
    updateCommands(library);
    return saved ? 0 : 1;
}
