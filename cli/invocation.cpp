#include "invocation.h"

#include <kvr7x_version.h>

namespace kvr::cli {

namespace {

// The value after the option at `at`, which then points at it; false with
// `error` when there is none.
bool takeValue(const std::vector<std::string> &arguments, std::size_t &at, std::string &value, const char *what,
               std::string &error) {
    if (at + 1 >= arguments.size() || arguments[at + 1].empty()) {
        error = arguments[at] + " takes " + what;
        return false;
    }
    value = arguments[++at];
    return true;
}

enum class Taken { No, Yes, Failed };

// The tool's own options (not --help, --version or a command's -t).
Taken takeOption(const std::vector<std::string> &arguments, std::size_t &at, Invocation &invocation,
                 std::string &error) {
    const std::string &argument = arguments[at];
    bool taken = true;
    if (argument == "-k" || argument == "--keep-going")
        invocation.keepGoing = true;
    else if (argument == "--json")
        invocation.json = true;
    else if (argument == "--decode")
        invocation.decode = true;
    else if (argument == "-p" || argument == "--port")
        taken =
            takeValue(arguments, at, invocation.port, "a port name (COM1..COM9, /dev/..., rfc2217://HOST:PORT)", error);
    else if (argument == "--junit")
        taken = takeValue(arguments, at, invocation.junitPath, "a file name", error);
    else if (argument == "--record")
        taken = takeValue(arguments, at, invocation.recordPath, "a file name", error);
    else if (argument == "--record-rules")
        taken = takeValue(arguments, at, invocation.rulesPath, "a file name", error);
    else
        return Taken::No;
    return taken ? Taken::Yes : Taken::Failed;
}

// run FILE, with the reports only a script has.
std::optional<Invocation> scriptInvocation(Invocation invocation, const std::vector<std::string> &words,
                                           const std::vector<std::string> &timeout, std::string &error) {
    if (!timeout.empty()) {
        error = "-t goes on the lines of a script, not on run";
        return std::nullopt;
    }
    if (words.size() != 2) {
        error = "usage: run FILE (\"-\" for standard input)";
        return std::nullopt;
    }
    invocation.action = Invocation::Action::Script;
    invocation.scriptPath = words[1];
    return invocation;
}

}  // namespace

std::optional<Invocation> parseInvocation(const std::vector<std::string> &arguments, std::string &error) {
    Invocation invocation;
    // The tool's options may stand anywhere; every other word belongs to the
    // command, and "-t MS" after its words wherever it stood.
    std::vector<std::string> words;
    std::vector<std::string> timeout;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::string &argument = arguments[at];
        if (argument == "--help" || argument == "-h" || argument == "--version" || argument == "-V") {
            invocation.action =
                argument == "--help" || argument == "-h" ? Invocation::Action::Help : Invocation::Action::Version;
            return invocation;
        }
        const Taken option = takeOption(arguments, at, invocation, error);
        if (option == Taken::Failed) return std::nullopt;
        if (option == Taken::Yes) continue;
        if (argument == "-t") {
            timeout.push_back(argument);
            if (at + 1 < arguments.size()) timeout.push_back(arguments[++at]);
        } else if (argument.size() > 1 && argument[0] == '-') {
            error = "unknown option \"" + argument + "\"";
            return std::nullopt;
        } else {
            words.push_back(argument);
        }
    }
    const bool scripted = !words.empty() && words[0] == "run";
    if (scripted) return scriptInvocation(std::move(invocation), words, timeout, error);
    if (!invocation.junitPath.empty() || !invocation.recordPath.empty() || !invocation.rulesPath.empty()) {
        error = "--junit, --record and --record-rules go with run FILE";
        return std::nullopt;
    }
    if (!words.empty()) words.insert(words.end(), timeout.begin(), timeout.end());
    const auto command = parseReaderCommand(words, error);
    if (!command) return std::nullopt;
    invocation.action = Invocation::Action::Command;
    invocation.command = *command;
    return invocation;
}

std::string helpText() {
    return R"(Usage: kvr7x [-p PORT] [-k] [--json] [--decode] COMMAND
       kvr7x [-p PORT] [-k] [--json] [--decode] [--junit OUT] [--record OUT]
             [--record-rules OUT] run FILE
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
                                     stops at the first failed line
send, isoin and isoout take "-t MS", the reply time-out in milliseconds
(default 10000 for the insert and extract commands, 1000 for the rest).
Opening the port resets the reader, which deactivates the card: commands that
build on each other (activate, select, read) go in one script.

A script line may end with "=> [stat XX] [SWSW] [DATA]", the reply it
expects: STAT (00 when left out), the status word in four hex digits of
which any may be "?", the reply data in hex where "??" is any one byte and a
final "*" any further bytes.  $SW1, $SW2 and $LEN in a command stand for the
previous reply's bytes.  A script is read and checked whole (at most 4096
bytes a line, 1 MiB in all) before anything is sent.

Options:
  -p, --port PORT       the reader's port (default COM1): COM1..COM9 of
                        $XDG_CONFIG_HOME/kvr7x/ports, a device /dev/..., or
                        rfc2217://HOST:PORT (kvr7x-emu, ser2net)
  -k, --keep-going      run a script to its end whatever fails
      --json            one JSON object a command, on one line
      --decode          what each reply means, under it: the status word, the
                        card's ATR after an activation (send 20 00 80 ...), and
                        BER-TLV data (an FCI, an FCP) after any other command
      --junit OUT       also write a JUnit XML report of the script to OUT
      --record OUT      write the script to OUT with each line's reply as its
                        expectation
      --record-rules OUT  write the exchanges to OUT as kvr7x-emu --rules lines
  -h, --help            show this text and end
  -V, --version         show the version and end
Options may stand anywhere on the line.

Exit status: 0 when every command got what it expected (STAT 00 when a line
says nothing), 1 when the port did not open, the driver failed or a reply was
not the one expected, 2 for a usage error or a script error (a line that is
no command, a bad expectation, a script that cannot be read; nothing is sent
then).
See kvr7x(1).
)";
}

std::string versionText() { return "kvr7x " KVR7X_VERSION "\nbuilt on the KVR7x driver library " KVR7X_VERSION "\n"; }

}  // namespace kvr::cli
