// kvrman1's command line.  The program takes no settings from it (they are
// all in KVRMAN1.INI); it answers --help and --version on the terminal
// without opening a window, and leaves every other argument to Qt
// (-platform, -style, ...).
#ifndef KVR_STARTUP_COMMAND_LINE_H
#define KVR_STARTUP_COMMAND_LINE_H

#include <string>

namespace kvr::startup {

enum class CommandLineAction { Run, Help, Version };

// The first of --help (-h) and --version (-V) given decides; none: Run.
CommandLineAction commandLineAction(int argc, const char *const *argv);

std::string helpText();
std::string versionText();

}  // namespace kvr::startup

#endif
