// Renders the command edit form, changing a stored command whose hot key is
// F2, to PNG files in a folder:
//   xvfb-run -a kvr_update_commands_screenshot FOLDER
// writes FOLDER/update_commands.png, FOLDER/update_commands_notice.png
// with the longest notice of the status bar's first zone, and
// FOLDER/standard_warning.png with the standard warning a delete asks
// first ("Confirm Delete"), answered Cancel.
#include "library/update_commands.h"

#include "library/commands_file.h"
#include "library/commands_library.h"
#include "library/commands_use.h"
#include "runtime/qt/window.h"

#include "screenshots.h"
#include "scripted_interaction.h"
#include "when_shown.h"

#include <QDialog>
#include <QTest>

int main(int argc, char **argv) {
    using namespace kvr::library;
    kvr::test_support::Screenshots shots(argc, argv);
    if (!shots.ready()) return 1;

    // Boxes are the real ones; the windows are photographed as they run.
    kvr::test_support::ScriptedInteraction operatorSide;
    CommandsLibrary library(operatorSide);
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
    if (library.commandsFile().readByNumber(library.commandsFile().recordNumber()) != 0) return 1;

    operatorSide.windowRunHook = [&](kvr::runtime::qt::Window &w) {
        shots.settle(w);
        shots.save(w, "update_commands.png");
        w.setStatusText(QString::fromUtf8(kvr::library::kRecordDeletedElsewhere), 0);
        w.setStatusText(QString::fromUtf8("Se añadirá un registro"), 1);
        shots.save(w, "update_commands_notice.png");
        w.close();
    };
    library.formCall().request = FormChange;
    updateCommands(operatorSide, library);

    {
        kvr::test_support::WhenShown<QDialog> grab([&](QDialog &box) {
            QTest::qWait(100);
            shots.save(box, "standard_warning.png");
            box.reject();  // Escape: Cancel
        });
        library.commandsFile().watch();
        if (library.commandsFile().readByNumber(library.commandsFile().recordNumber()) != 0) return 1;
        library.formCall().request = FormDelete;
        updateCommands(operatorSide, library);
    }
    return shots.saved() == 3 ? 0 : 1;
}
