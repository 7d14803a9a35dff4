// The kvr7x tool's command line:
//   kvr7x [-p PORT] [-k] [--json] [--decode] COMMAND...   one reader command
//   kvr7x [-p PORT] [-k] [--json] [--decode] [--junit OUT] [--record OUT]
//         [--record-rules OUT] run FILE                  a script of such commands
//   kvr7x --help | --version
#ifndef KVR_CLI_INVOCATION_H
#define KVR_CLI_INVOCATION_H

#include "session/reader_command.h"

#include <optional>
#include <string>
#include <vector>

namespace kvr::cli {

using session::Operation;
using session::operationName;
using session::parseReaderCommand;
using session::ReaderCommand;
using session::splitWords;

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitReaderError = 1;
inline constexpr int kExitUsageError = 2;

struct Invocation {
    enum class Action { Help, Version, Command, Script };
    Action action = Action::Help;
    std::string port = "COM1";
    bool keepGoing = false;  // -k: a script goes on after a failed command
    bool json = false;
    bool decode = false;     // --decode: what each reply means, under it
    ReaderCommand command;   // Action::Command
    std::string scriptPath;  // Action::Script; "-" is standard input
    // Action::Script: where to write a JUnit report, the script back with
    // its replies as expectations, the exchanges as emulator rules; empty:
    // not written.
    std::string junitPath, recordPath, rulesPath;
};

// The arguments after the program name.  The options (and a command's
// "-t MS") may stand anywhere, before the command's name too; --help and
// --version win wherever they stand.
[[nodiscard]] std::optional<Invocation> parseInvocation(const std::vector<std::string> &arguments, std::string &error);

std::string helpText();
std::string versionText();

}  // namespace kvr::cli

#endif
