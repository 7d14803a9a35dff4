// kvr7x: sends commands to a KVR7x reader from a shell or a script.
#include "invocation.h"
#include "reader_session.h"
#include "report.h"
#include "script.h"

#include "common/c_boundary.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
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

bool readScript(const std::string &path, std::string &text) {
    if (path == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return !std::cin.bad();
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream contents;
    contents << file.rdbuf();
    text = contents.str();
    return !file.bad();
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

    std::vector<ScriptLine> lines;
    const bool scripted = invocation->action == Invocation::Action::Script;
    if (scripted) {
        std::string text;
        if (!readScript(invocation->scriptPath, text))
            return usageError("cannot read " + invocation->scriptPath + ": " + std::strerror(errno));
        const std::string name = invocation->scriptPath == "-" ? "standard input" : invocation->scriptPath;
        auto parsed = parseScript(text, name, error);
        if (!parsed) return usageError(error);
        lines = std::move(*parsed);
    } else {
        lines.push_back({0, {}, invocation->command});
    }

    ReaderSession session(invocation->port);
    if (!session.isOpen()) {
        if (invocation->json)
            put("{\"command\":\"open\",\"ok\":false,\"port\":" + jsonString(invocation->port) + "}\n");
        std::fprintf(stderr, "kvr7x: %s does not open (no such port, in use, or no reader answers there)\n",
                     invocation->port.c_str());
        return kExitReaderError;
    }
    int status = kExitOk;
    for (const ScriptLine &line : lines) {
        if (scripted && !invocation->json) put("> " + line.text + "\n");
        const Outcome outcome = session.run(line.command);
        if (invocation->json) {
            put(jsonReport(outcome, scripted ? std::optional<int>(line.number) : std::nullopt));
        } else {
            put(textReport(outcome));
        }
        if (!outcome.succeeded()) {
            status = kExitReaderError;
            if (!invocation->keepGoing) break;
        }
    }
    return status;
}

}  // namespace

int main(int argc, char **argv) {
    return kvr::common::guardMain("kvr7x", [&] { return run(argc, argv); });
}
