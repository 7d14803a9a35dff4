#include "library/network_drive_warning.h"

#include "runtime/message_box.h"

namespace kvr::library {

std::string networkDriveText(const std::string &file, const std::string &fileSystem) {
    return "La biblioteca de comandos " + file + " está en una unidad de red (" + fileSystem +
           "). Si varias estaciones la usan a la vez, pueden perderse comandos.\n\n"
           "Para compartir la biblioteca entre estaciones, use una biblioteca de equipo en un servidor "
           "PostgreSQL: en KVRMAN1.INI, sección [Commands], Database=postgresql://usuario@servidor/base.";
}

bool warnWhenOnNetworkDrive(runtime::UserInteraction &interaction, const std::string &path,
                            const FileSystemProbe &fileSystemOf) {
    const std::string fileSystem = fileSystemOf ? fileSystemOf(path) : std::string();
    if (fileSystem.empty()) return false;
    runtime::showMessageBox(interaction, {networkDriveText(path, fileSystem), kNetworkDriveCaption,
                                          runtime::MessageIcon::Exclamation, runtime::ButtonOk, runtime::ButtonOk});
    return true;
}

}  // namespace kvr::library
