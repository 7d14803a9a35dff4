// The main window MAIN$WINDOW: command console, reader/card/SAM menus.
#ifndef KVR_CONSOLE_MAIN_WINDOW_H
#define KVR_CONSOLE_MAIN_WINDOW_H

#include <cstdint>
#include <string>

namespace kvr::library {
class CommandsLibrary;
}

namespace kvr::runtime {
class UserInteraction;
}

namespace kvr::console {

// Runs the main window until it closes.  portHandle is the open reader port
// (from QXOPEN), portName the name it was opened by ("COM2"); the window
// keeps COMMANDS of the library open while it runs.  Its boxes, dialogs and
// the windows it opens go through interaction.
void runMainWindow(runtime::UserInteraction &interaction, library::CommandsLibrary &library, int32_t portHandle,
                   const std::string &portName);

}  // namespace kvr::console

#endif
