// The command browser BROWSECMD$QUICKWINDOW, "Comandos": the commands of
// COMMANDS in card-name order, with Insert, Change and Delete through the
// edit form (command_browser.h says what it does; this is its window).
//
// The buttons lie below the list; "&Select" is not shown (the browser only
// maintains the library and never returns a record).  A right click on the
// list offers Insert, Change and Delete; "Help" tells the keys and buttons.
#ifndef KVR_LIBRARY_BROWSE_COMMANDS_H
#define KVR_LIBRARY_BROWSE_COMMANDS_H

#include "runtime/user_interaction.h"

class QWidget;

namespace kvr::library {

class CommandsLibrary;

// Runs the browser modally over parent until it is closed; afterwards the
// library's form call holds the response 2.  Its boxes, and the edit form
// it calls, go through interaction.
void browseCommands(runtime::UserInteraction &interaction, CommandsLibrary &library, QWidget *parent = nullptr);

}  // namespace kvr::library

#endif
