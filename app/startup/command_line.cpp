#include "startup/command_line.h"

#include <kvr7x_version.h>

#include <string_view>

namespace kvr::startup {

CommandLineAction commandLineAction(int argc, const char *const *argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") break;
        if (argument == "--help" || argument == "-h") return CommandLineAction::Help;
        if (argument == "--version" || argument == "-V") return CommandLineAction::Version;
    }
    return CommandLineAction::Run;
}

std::string helpText() {
    return R"(Usage: kvrman1 [--help | --version]
Kvr Manager V3.01: sends commands to a smart card in a KVR7x reader and shows
the replies, and keeps a library of stored card commands.

  --help      show this text and end
  --version   show the version and end

The reader's port is chosen in the program's first window and kept in
$XDG_CONFIG_HOME/kvrman1/KVRMAN1.INI (default ~/.config/kvrman1/KVRMAN1.INI),
with the places of the windows.  COM1..COM9 name the ports of
$XDG_CONFIG_HOME/kvr7x/ports ("COM1=/dev/ttyUSB0",
"COM2=rfc2217://HOST:PORT"); a COMn not listed there is /dev/ttyS<n-1>.
The command library is COMMANDS.tps in the current directory, unless
KVRMAN1.INI names a team library in PostgreSQL:
  [Commands]
  Database=postgresql://ana@db.example/kvr
(any libpq connection string; the password comes from ~/.pgpass or
PGPASSWORD, never from the INI).

Environment:
  KVR_COMMANDS_DB   the library for this run, in place of [Commands]
                    Database= (empty: COMMANDS.tps in the current directory)
  XDG_CONFIG_HOME   the folder of kvrman1/KVRMAN1.INI and kvr7x/ports

Other arguments go to Qt (for example -platform offscreen).  See kvrman1(1).
)";
}

std::string versionText() {
    return "kvrman1 " KVR7X_VERSION " (Kvr Manager V3.01)\nbuilt on the KVR7x driver library " KVR7X_VERSION "\n";
}

}  // namespace kvr::startup
