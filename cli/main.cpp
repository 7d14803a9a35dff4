// kvr7x: sends commands to a KVR7x reader from a shell or a script.
#include "decoding_report.h"
#include "invocation.h"
#include "reader_session.h"
#include "report.h"
#include "script_run.h"
#include "script_source.h"

#include "common/c_boundary.h"
#include "session/card_script.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace kvr::cli;

int usageError(const std::string &message) {
    std::fprintf(stderr, "kvr7x: %s\nTry \"kvr7x --help\".\n", message.c_str());
    return kExitUsageError;
}

void put(const std::string &text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

int run(int argc, char **argv) {
    std::string error;
    const auto invocation = parseInvocation(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!invocation) return usageError(error);
    switch (invocation->action) {
    case Invocation::Action::Help: put(helpText()); return kExitOk;
    case Invocation::Action::Version: put(versionText()); return kExitOk;
    case Invocation::Action::Command:
    case Invocation::Action::Script: break;
    }

    // A script is read and checked whole, and its reports opened, before
    // the port is: a script error sends nothing.
    const bool scripted = invocation->action == Invocation::Action::Script;
    kvr::session::ScriptParser script(scriptName(invocation->scriptPath));
    ScriptReports reports;
    if (scripted && (!readScript(invocation->scriptPath, script, error) || !reports.open(*invocation, error)))
        return usageError(error);

    ReaderSession session(invocation->port);
    if (!session.isOpen()) {
        if (invocation->json) put("{\"command\":\"open\",\"ok\":false," + jsonText("port", invocation->port) + "}\n");
        std::fprintf(stderr, "kvr7x: %s does not open (no such port, in use, or no reader answers there)\n",
                     invocation->port.c_str());
        return kExitReaderError;
    }
    if (scripted) {
        return runScript(*invocation, script, session, reports, put, [](const std::string &text) {
            std::fputs(text.c_str(), stderr);
            std::fflush(stderr);
        });
    }
    const Outcome outcome = session.run(invocation->command);
    if (invocation->json)
        put(invocation->decode ? withJsonDecoding(jsonReport(outcome), invocation->command, outcome)
                               : jsonReport(outcome));
    else
        put(textReport(outcome) + (invocation->decode ? textDecoding(invocation->command, outcome) : std::string()));
    return outcome.succeeded() ? kExitOk : kExitReaderError;
}

}  // namespace

int main(int argc, char **argv) {
    return kvr::common::guardMain("kvr7x", [&] { return run(argc, argv); });
}
