// The stored-command menus of the main window: one card submenu per card
// name of COMMANDS under "&Tarjeta", after its "[Comandos]" placeholder.
#ifndef KVR_CONSOLE_STORED_COMMAND_MENUS_H
#define KVR_CONSOLE_STORED_COMMAND_MENUS_H

namespace kvr::runtime {
class Menus;
}

namespace kvr::console {

// Builds the card submenus from COMMANDS.  Called when the main window
// opens, after the menu adjustment, and again when the command browser
// closes.  The library's entries are not listed yet: the "&Tarjeta" menu
// holds its fixed items only.
void buildStoredCommandMenus(runtime::Menus &menus);

}  // namespace kvr::console

#endif
