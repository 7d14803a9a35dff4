#include "script_run.h"

#include "junit_report.h"
#include "report.h"

#include "console/script_record.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace kvr::cli {

namespace {

using console::ScriptLine;
using console::ScriptReply;

bool openForWriting(const std::string &path, std::FILE *&file, std::string &error) {
    if (path.empty()) return true;
    file = std::fopen(path.c_str(), "wb");
    if (file) return true;
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
}

// Writes the text and closes the file; false with `error` on failure.
bool finish(std::FILE *&file, const std::string &path, const std::string &text, std::string &error) {
    if (!file) return true;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    if (written && closed) return true;
    error = "cannot write " + path + ": " + std::strerror(written ? errno : writeErrno);
    return false;
}

}  // namespace

ScriptReply scriptReply(const Outcome &outcome) {
    ScriptReply reply;
    reply.result = outcome.result;
    reply.sw1 = outcome.sw1;
    reply.sw2 = outcome.sw2;
    reply.length = outcome.length;
    reply.data = outcome.data;
    return reply;
}

bool ScriptReports::open(const Invocation &invocation, std::string &error) {
    junitPath = invocation.junitPath;
    recordPath = invocation.recordPath;
    rulesPath = invocation.rulesPath;
    return openForWriting(junitPath, junit, error) && openForWriting(recordPath, record, error) &&
           openForWriting(rulesPath, rules, error);
}

ScriptReports::~ScriptReports() {
    for (std::FILE *file : {junit, record, rules})
        if (file) std::fclose(file);
}

int runScript(const Invocation &invocation, const console::ScriptParser &script, ReaderSession &session,
              ScriptReports &reports, const std::function<void(const std::string &)> &out,
              const std::function<void(const std::string &)> &err) {
    const std::vector<ScriptLine> &lines = script.lines();
    std::vector<JunitCase> cases;
    for (const ScriptLine &line : lines) cases.push_back({line.number, line.text, 0, false, {}});
    // The source lines, command lines replaced by their recorded form.
    std::vector<std::string> recorded = script.source();
    console::RuleRecorder rules;
    std::string rulesText = "# kvr7x-emu --rules: the exchanges of kvr7x run " + script.name() + "\n";

    int status = kExitOk;
    std::optional<ScriptReply> previous;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ScriptLine &line = lines[i];
        if (!invocation.json) out("> " + line.text + "\n");
        const auto began = std::chrono::steady_clock::now();
        std::string failure;
        const auto command = console::commandFor(line, previous ? &*previous : nullptr, failure);
        Outcome outcome;
        if (command) {
            outcome = session.run(*command);
            const ScriptReply reply = scriptReply(outcome);
            failure = console::replyMismatch(line.expectation(), reply);
            recorded[static_cast<std::size_t>(line.number - 1)] = console::recordedLine(line.text, reply, line.comment);
            rulesText += rules.add(console::commandFrame(*command), reply) + "\n";
            previous = reply;
        } else {
            previous.reset();
        }
        cases[i].ran = true;
        cases[i].seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        if (!failure.empty()) cases[i].failure = console::failureLine(script.name(), line, failure);
        if (invocation.json) {
            const LineVerdict verdict{line.text, line.expectation().text(), cases[i].failure};
            if (command) {
                out(jsonReport(outcome, line.number, &verdict));
            } else {
                out("{\"line\":" + std::to_string(line.number) + "," + jsonText("text", line.text) +
                    ",\"verdict\":\"fail\"," + jsonText("failure", cases[i].failure) + "}\n");
            }
        } else if (command) {
            out(textReport(outcome));
        }
        if (!failure.empty()) {
            err(cases[i].failure + "\n");
            status = kExitReaderError;
            if (!invocation.keepGoing) break;
        }
    }

    std::string error;
    std::string recordText;
    for (const std::string &line : recorded) recordText += line + "\n";
    if (!reports.rulesPath.empty() && rules.conflicts() > 0)
        err("kvr7x: " + reports.rulesPath + ": " + std::to_string(rules.conflicts()) +
            " frame(s) answered otherwise than the first time; the rules keep the first reply\n");
    if (!finish(reports.junit, reports.junitPath, junitReport(script.name(), cases), error) ||
        !finish(reports.record, reports.recordPath, recordText, error) ||
        !finish(reports.rules, reports.rulesPath, rulesText, error)) {
        err("kvr7x: " + error + "\n");
        return kExitUsageError;
    }
    return status;
}

}  // namespace kvr::cli
