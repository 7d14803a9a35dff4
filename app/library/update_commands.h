// The command edit form UPDATECOMMANDS$QUICKWINDOW, "Actualización de
// Comandos": adds a command to COMMANDS, changes one, or deletes one after a
// confirmation (see command_form.h for what it does; this is its window).
#ifndef KVR_LIBRARY_UPDATE_COMMANDS_H
#define KVR_LIBRARY_UPDATE_COMMANDS_H

#include "library/command_form.h"
#include "runtime/user_interaction.h"
#include "runtime/window.h"

#include <cstdint>

namespace kvr::library {

// Runs the form for library.formCall().request (1 insert, 2 change,
// 3 delete; 0 counts as insert) on the record in the library's COMMANDS
// record buffer, modally over parent; a delete opens no window.  Sets
// library.formCall().response (1 completed, 2 cancelled) and returns it.
// The window goes through interaction.
std::int32_t updateCommands(runtime::UserInteraction &interaction, CommandsLibrary &library,
                            runtime::Window *parent = nullptr);

}  // namespace kvr::library

#endif
