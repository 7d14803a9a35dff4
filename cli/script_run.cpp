#include "script_run.h"

#include "decoding_report.h"
#include "junit_report.h"
#include "report.h"

#include "session/script_record.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace kvr::cli {

namespace {

using session::ScriptLine;
using session::ScriptReply;

bool openForWriting(const std::string &path, std::FILE *&file, std::string &error) {
    if (path.empty()) return true;
    file = std::fopen(path.c_str(), "wb");
    if (file) return true;
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
}

// Writes the text and closes the file; false with `error` on failure.
bool writeReport(std::FILE *&file, const std::string &path, const std::string &text, std::string &error) {
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

namespace {

using Print = std::function<void(const std::string &)>;

// One run: what each line got, and the reports that grow with it.
class Run {
public:
    Run(const Invocation &invocation, const session::ScriptParser &script, const Print &out, const Print &err)
        : invocation_(invocation), script_(script), out_(out), err_(err), recorded_(script.source()),
          rulesText_("# kvr7x-emu --rules: the exchanges of kvr7x run " + script.name() + "\n") {
        cases_.reserve(script.lines().size());
        for (const ScriptLine &line : script.lines()) cases_.push_back({line.number, line.text, 0, false, {}});
    }

    // Runs the i-th command line; false when it failed.
    bool runLine(std::size_t i, ReaderSession &session) {
        const ScriptLine &line = script_.lines()[i];
        if (!invocation_.json) out_("> " + line.text + "\n");
        const auto began = std::chrono::steady_clock::now();
        std::string failure;
        const auto command = session::commandFor(line, previous_ ? &*previous_ : nullptr, failure);
        Outcome outcome;
        previous_.reset();
        if (command) {
            outcome = session.run(*command);
            const ScriptReply reply = scriptReply(outcome);
            failure = session::replyMismatch(line.expectation(), reply);
            recorded_[static_cast<std::size_t>(line.number - 1)] =
                session::recordedLine(line.text, reply, line.comment);
            rulesText_ += rules_.add(session::commandFrame(*command), reply) + "\n";
            previous_ = reply;
        }
        JunitCase &testCase = cases_[i];
        testCase.ran = true;
        testCase.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        if (!failure.empty()) testCase.failure = session::failureLine(script_.name(), line, failure);
        report(line, command ? &*command : nullptr, outcome, testCase.failure);
        if (failure.empty()) return true;
        err_(testCase.failure + "\n");
        return false;
    }

    // Writes the reports; false with `error` when one cannot be written.
    bool finish(ScriptReports &reports, std::string &error) {
        std::string recordText;
        for (const std::string &line : recorded_) recordText.append(line).append("\n");
        if (!reports.rulesPath.empty() && rules_.conflicts() > 0)
            err_("kvr7x: " + reports.rulesPath + ": " + std::to_string(rules_.conflicts()) +
                 " frame(s) answered otherwise than the first time; the rules keep the first reply\n");
        return writeReport(reports.junit, reports.junitPath, junitReport(script_.name(), cases_), error) &&
               writeReport(reports.record, reports.recordPath, recordText, error) &&
               writeReport(reports.rules, reports.rulesPath, rulesText_, error);
    }

private:
    // The reply of a line that sent its command (`command` not null).
    void report(const ScriptLine &line, const ReaderCommand *command, const Outcome &outcome,
                const std::string &failure) {
        if (!invocation_.json) {
            if (command)
                out_(textReport(outcome) + (invocation_.decode ? textDecoding(*command, outcome) : std::string()));
            return;
        }
        const LineVerdict verdict{line.text, line.expectation().text(), failure};
        if (command) {
            std::string json = jsonReport(outcome, line.number, &verdict);
            out_(invocation_.decode ? withJsonDecoding(std::move(json), *command, outcome) : json);
            return;
        }
        std::string json = "{\"line\":" + std::to_string(line.number);
        json.append(",").append(jsonText("text", line.text)).append(",\"verdict\":\"fail\",");
        json.append(jsonText("failure", failure)).append("}\n");
        out_(json);
    }

    const Invocation &invocation_;
    const session::ScriptParser &script_;
    const Print &out_;
    const Print &err_;
    std::vector<JunitCase> cases_;
    // The source lines, command lines replaced by their recorded form.
    std::vector<std::string> recorded_;
    session::RuleRecorder rules_;
    std::string rulesText_;
    std::optional<ScriptReply> previous_;
};

}  // namespace

int runScript(const Invocation &invocation, const session::ScriptParser &script, ReaderSession &session,
              ScriptReports &reports, const Print &out, const Print &err) {
    Run run(invocation, script, out, err);
    int status = kExitOk;
    for (std::size_t i = 0; i < script.lines().size(); ++i) {
        if (run.runLine(i, session)) continue;
        status = kExitReaderError;
        if (!invocation.keepGoing) break;
    }
    std::string error;
    if (!run.finish(reports, error)) {
        err("kvr7x: " + error + "\n");
        return kExitUsageError;
    }
    return status;
}

}  // namespace kvr::cli
