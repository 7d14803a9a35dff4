// "&Importar..." of the main window: the operator picks a command file and
// its records are appended to COMMANDS (command_import.h does the work;
// this is its dialog and its boxes).
#ifndef KVR_LIBRARY_IMPORT_COMMANDS_H
#define KVR_LIBRARY_IMPORT_COMMANDS_H

#include "library/command_import.h"
#include "runtime/user_interaction.h"

#include <string>

namespace kvr::library {

// The open-file dialog "Escoger archivo a importar" with the filter
// "Comandos|*.tps", starting from the import file name, which then keeps
// the name chosen.  Cancelled: nothing happens.  The import runs under the
// wait cursor.  A source that cannot be opened: the "ERROR" box (stop icon,
// OK).  An import that left records out or stopped on a read error: a box
// with the counts and the first error.  Returns the text for the caller's
// status bar after a clean import (importedStatusText: the count, or that
// the file holds no commands), else "".  The stored-command menus are not
// rebuilt here.
// The dialog and the boxes go through interaction.
std::string importCommands(runtime::UserInteraction &interaction, CommandsLibrary &library,
                           const ImportProgress &progress = {});

}  // namespace kvr::library

#endif
