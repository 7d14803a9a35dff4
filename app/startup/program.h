// The program entry of the manager: port name from the settings file (or
// from the port-selection window), the reader opened, the main window run,
// the reader closed and the port name stored.
#ifndef KVR_STARTUP_PROGRAM_H
#define KVR_STARTUP_PROGRAM_H

#include "runtime/user_interaction.h"

#include <cstdint>
#include <functional>
#include <string>

namespace kvr::startup {

// The setting holding the port name, in the settings file (settings_file.h).
inline constexpr const char *PortSection = "SmartCard";
inline constexpr const char *PortKey = "ComPort";

// Runs the main window until it closes: the open port's handle and the name
// it was opened by.
using MainWindowRunner = std::function<void(int32_t portHandle, const std::string &portName)>;

// The whole run of the program; returns its exit code (0).  The main window
// runs only when the port opened; the port selection goes through
// interaction.  Needs a QApplication.
int runProgram(runtime::UserInteraction &interaction, const MainWindowRunner &runMain);

// The port name a stored ComPort value gives: its first 4 characters.
std::string portNameFromSetting(const std::string &stored);

}  // namespace kvr::startup

#endif
