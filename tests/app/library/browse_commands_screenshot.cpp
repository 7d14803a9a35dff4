// Renders the command browser over a small library to a PNG file:
//   xvfb-run -a kvr_browse_commands_screenshot FOLDER
// writes FOLDER/browse_commands.png.
#include "library/browse_commands.h"

#include "library/commands_file.h"
#include "library/commands_library.h"
#include "library/commands_use.h"
#include "runtime/qt/window.h"

#include "screenshots.h"
#include "scripted_interaction.h"

int main(int argc, char **argv) {
    using namespace kvr::library;
    kvr::test_support::Screenshots shots(argc, argv);
    if (!shots.ready()) return 1;

    // Boxes are the real ones; the windows are photographed as they run.
    kvr::test_support::ScriptedInteraction operatorSide;
    CommandsLibrary library(operatorSide);
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

    operatorSide.windowRunHook = [&](kvr::runtime::qt::Window &w) {
        shots.settle(w);
        shots.save(w, "browse_commands.png");
        w.close();
    };
    browseCommands(operatorSide, library);
    return shots.saved() == 1 ? 0 : 1;
}
