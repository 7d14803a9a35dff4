#include "library/import_commands.h"

#include "library/commands_library.h"
#include "runtime/file_dialog.h"
#include "runtime/message_box.h"
#include "runtime/wait_cursor.h"

#include <string_view>

namespace kvr::library {

namespace {

// The stored name without the blanks around it.
std::string trimmed(std::string_view name) {
    const auto first = name.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return std::string(name.substr(first, name.find_last_not_of(" \t\r\n") - first + 1));
}

}  // namespace

std::string importCommands(runtime::UserInteraction &interaction, CommandsLibrary &library,
                           const ImportProgress &progress) {
    const std::string chosen = runtime::chooseOpenFile(interaction, "Escoger archivo a importar", "Comandos|*.tps",
                                                       trimmed(library.importFileName()));
    if (chosen.empty()) return {};
    library.setImportFileName(chosen);

    ImportResult result;
    {
        runtime::WaitCursor wait;
        result = importCommandFile(library, ImportBatching{}, progress);
    }
    runtime::MessageBoxRequest box;
    if (result.openError) {
        box.caption = "ERROR";
        box.icon = runtime::MessageIcon::Stop;
        box.text = openErrorText(*result.openError);
        runtime::showMessageBox(interaction, box);
        return {};
    }
    if (!result.report.clean()) {
        box.caption = "Importar comandos";
        box.icon = runtime::MessageIcon::Exclamation;
        box.text = importReportText(result.report);
        runtime::showMessageBox(interaction, box);
        return {};
    }
    return importedStatusText(result.report);
}

}  // namespace kvr::library
