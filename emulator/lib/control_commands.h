// Control commands: changes made to a running emulator from outside, one
// command a line, the way an operator takes the card out of the reader or
// pulls its power plug.  kvr7x-emu reads them on its standard input when
// started with --control.
#ifndef KVR7X_EMU_CONTROL_COMMANDS_H
#define KVR7X_EMU_CONTROL_COMMANDS_H

#include <string>

#include "emulator.h"

namespace kvr7x::emu {

// Carries out one command line and returns the answer line (no newline):
// "ok: ..." when done, "error: ..." when the line is not a command.  Blank
// lines and lines starting with "#" answer an empty text.
[[nodiscard]] std::string runControlCommand(Emulator &emulator, const std::string &line);

// The commands, as the --help text lists them.
std::string controlCommandsHelp();

}  // namespace kvr7x::emu

#endif
