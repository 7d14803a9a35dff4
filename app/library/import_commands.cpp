#include "library/import_commands.h"

#include "library/commands_library.h"
#include "runtime/file_dialog.h"
#include "runtime/message_box.h"
#include "runtime/wait_cursor.h"

#include <QFile>
#include <QString>

namespace kvr::library {

std::string importCommands(runtime::UserInteraction &interaction, CommandsLibrary &library,
                           const ImportProgress &progress) {
    const QString chosen = runtime::chooseOpenFile(
        interaction, QStringLiteral("Escoger archivo a importar"), QStringLiteral("Comandos|*.tps"),
        QFile::decodeName(QByteArray::fromStdString(library.importFileName())).trimmed());
    if (chosen.isEmpty()) return {};
    library.setImportFileName(QFile::encodeName(chosen).toStdString());

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
