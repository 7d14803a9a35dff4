#include "startup/program.h"

#include "runtime/profile.h"
#include "runtime/settings_file.h"
#include "startup/port_selection.h"

#include <kvr7x.h>

#include <QGuiApplication>

#include <algorithm>

namespace kvr::startup {

std::string portNameFromSetting(const std::string &stored) { return stored.substr(0, 4); }

int runProgram(runtime::UserInteraction &interaction, const MainWindowRunner &runMain) {
    QGuiApplication::setQuitOnLastWindowClosed(false);

    std::string portName =
        portNameFromSetting(runtime::readProfileString(PortSection, PortKey, std::string(), runtime::kSettingsFile));
    const bool blank = std::all_of(portName.begin(), portName.end(), [](char c) { return c == ' ' || c == '\t'; });
    if (blank) {
        // Closing the window without a choice leaves the name as it was.
        if (std::string chosen = selectPort(interaction); !chosen.empty()) portName = chosen;
    }

    const int32_t portHandle = QXOPEN(portName.c_str());
    if (portHandle >= 0) runMain(portHandle, portName);
    // Also for a port that did not open: closing a negative handle is harmless.
    QXCLOSE(portHandle);

    runtime::writeProfileString(PortSection, PortKey, portName, runtime::kSettingsFile);
    return 0;
}

}  // namespace kvr::startup
