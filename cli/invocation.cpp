#include "invocation.h"

#include <kvr7x_version.h>

namespace kvr::cli {

std::optional<Invocation> parseInvocation(const std::vector<std::string> &arguments, std::string &error) {
    Invocation invocation;
    // The tool's options may stand anywhere; every other word (and "-t MS")
    // belongs to the command.
    std::vector<std::string> words;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::string &argument = arguments[at];
        if (argument == "--help" || argument == "-h") {
            invocation.action = Invocation::Action::Help;
            return invocation;
        }
        if (argument == "--version" || argument == "-V") {
            invocation.action = Invocation::Action::Version;
            return invocation;
        }
        if (argument == "-k" || argument == "--keep-going") {
            invocation.keepGoing = true;
        } else if (argument == "--json") {
            invocation.json = true;
        } else if (argument == "--decode") {
            invocation.decode = true;
        } else if (argument == "-p" || argument == "--port") {
            if (at + 1 >= arguments.size() || arguments[at + 1].empty()) {
                error = argument + " takes a port name (COM1..COM9, /dev/..., rfc2217://HOST:PORT)";
                return std::nullopt;
            }
            invocation.port = arguments[++at];
        } else if (argument == "-t") {
            words.push_back(argument);
            if (at + 1 < arguments.size()) words.push_back(arguments[++at]);
        } else if (argument.size() > 1 && argument[0] == '-') {
            error = "unknown option \"" + argument + "\"";
            return std::nullopt;
        } else {
            words.push_back(argument);
        }
    }
    if (!words.empty() && words[0] == "run") {
        if (words.size() != 2) {
            error = "usage: run FILE (\"-\" for standard input)";
            return std::nullopt;
        }
        invocation.action = Invocation::Action::Script;
        invocation.scriptPath = words[1];
        return invocation;
    }
    const auto command = parseReaderCommand(words, error);
    if (!command) return std::nullopt;
    invocation.action = Invocation::Action::Command;
    invocation.command = *command;
    return invocation;
}

std::string helpText() {
    return R"(Usage: kvr7x [-p PORT] [-k] [--json] [--decode] COMMAND
       kvr7x [-p PORT] [-k] [--json] [--decode] run FILE
Sends commands to a KVR7x smart-card reader through the driver library and
prints the reply in hexadecimal with the decoded reader status.

Commands (bytes in hexadecimal, one or two digits; DATA in pairs of digits,
in one word or several):
  reset                              reset the reader, print its identification
  status [UNIT]                      status request of the unit (default 0),
                                     with the card-present and power lines
  send CODE CLA INS P1 P2 P3 [DATA]  one command of six header bytes; with bit
                                     7 of CODE set DATA holds P3 bytes (256
                                     when P3 is 00)
  isoin UNIT CLA INS P1 P2 [DATA]    ISO command sending DATA to the card in
                                     UNIT (0 the card, 1..3 the SAM slots);
                                     P3 is the length of DATA
  isoout UNIT CLA INS P1 P2 P3       ISO command reading P3 bytes from the card
  run FILE                           the commands of FILE, one a line ("-":
                                     standard input); "#" starts a comment;
                                     stops at the first failed command
send, isoin and isoout take "-t MS", the reply time-out in milliseconds
(default 10000 for the insert and extract commands, 1000 for the rest).
Opening the port resets the reader, which deactivates the card: commands that
build on each other (activate, select, read) go in one script.

Options:
  -p, --port PORT    the reader's port (default COM1): COM1..COM9 of
                     $XDG_CONFIG_HOME/kvr7x/ports, a device /dev/..., or
                     rfc2217://HOST:PORT (kvr7x-emu, ser2net)
  -k, --keep-going   run a script to its end whatever fails
      --json         one JSON object a command, on one line
      --decode       what each reply means, under it: the status word, the
                     card's ATR after an activation (send 20 00 80 ...), and
                     BER-TLV data (an FCI, an FCP) after any other command
  -h, --help         show this text and end
  -V, --version      show the version and end

Exit status: 0 when every command succeeded (STAT 00), 1 when the port did not
open, the driver failed or the reader answered another STAT, 2 for a usage
error (also a script line that is no command; nothing is sent then).
See kvr7x(1).
)";
}

std::string versionText() { return "kvr7x " KVR7X_VERSION "\nbuilt on the KVR7x driver library " KVR7X_VERSION "\n"; }

}  // namespace kvr::cli
