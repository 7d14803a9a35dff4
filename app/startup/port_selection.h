// The port-selection window "Setup IFD Handler" (SETUPCOM$WINDOW): four
// buttons "Com1".."Com4", the focus on "Com2".
#ifndef KVR_STARTUP_PORT_SELECTION_H
#define KVR_STARTUP_PORT_SELECTION_H

#include "runtime/user_interaction.h"

#include <string>

namespace kvr::startup {

// Runs the window until the operator presses a button or closes it; returns
// "COM1".."COM4", or an empty name when it was closed without a choice.
std::string selectPort(runtime::UserInteraction &interaction);

}  // namespace kvr::startup

#endif
