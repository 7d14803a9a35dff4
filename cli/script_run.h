// kvr7x run: a card script's lines through a reader session, each reply
// checked against what its line expects, with the reports the command line
// asks for (JUnit XML, the script recorded with its replies, emulator
// rules).
#ifndef KVR_CLI_SCRIPT_RUN_H
#define KVR_CLI_SCRIPT_RUN_H

#include "invocation.h"
#include "reader_session.h"

#include "session/card_script.h"

#include <cstdio>
#include <functional>
#include <string>

namespace kvr::cli {

// The reply as a script checks it.
session::ScriptReply scriptReply(const Outcome &outcome);

// Where the run's reports go, opened before the port is, so that a path
// that cannot be written is a usage error before anything is sent.
class ScriptReports {
public:
    // False with `error` when a path cannot be opened for writing.
    [[nodiscard]] bool open(const Invocation &invocation, std::string &error);
    ~ScriptReports();
    std::FILE *junit = nullptr, *record = nullptr, *rules = nullptr;
    std::string junitPath, recordPath, rulesPath;
};

// Runs the script's lines (the parser finished without error) and writes
// the reports; output goes to `out`, failure lines and warnings to `err`.
// Returns the exit status: 0 when every line got what it expected, 1 when
// one did not, 2 when a report could not be written.
int runScript(const Invocation &invocation, const session::ScriptParser &script, ReaderSession &session,
              ScriptReports &reports, const std::function<void(const std::string &)> &out,
              const std::function<void(const std::string &)> &err);

}  // namespace kvr::cli

#endif
