#include "session/script_run.h"

#include "common/hex.h"
#include "session/script_record.h"

#include <utility>

namespace kvr::session {

ScriptReply replyOf(const Exchange &exchange) {
    ScriptReply reply;
    reply.result = exchange.result;
    if (exchange.answered() && exchange.kind == Exchange::Kind::Command) {
        reply.sw1 = exchange.sw1;
        reply.sw2 = exchange.sw2;
    }
    reply.data.assign(exchange.received.begin(), exchange.received.end());
    return reply;
}

ScriptRun::ScriptRun(CommandConsole &console, ExchangeHistory &history, std::string name, std::vector<ScriptLine> lines)
    : console_(console), history_(history), name_(std::move(name)), lines_(std::move(lines)) {}

int32_t ScriptRun::runNext() {
    if (finished()) return 0;
    const ScriptLine &line = lines_[next_++];
    ++commands_;
    std::string why;
    const auto command = commandFor(line, previous_ ? &*previous_ : nullptr, why);
    int32_t result = 0;
    if (command) {
        const uint64_t before = history_.endSequence();
        if (command->operation == Operation::Reset) {
            result = console_.resetReader();
        } else {
            // The panel filled as the operator would fill it: the frame's
            // header in its fields, its data in the hex view.
            const std::vector<uint8_t> frame = commandFrame(*command);
            PreparedCommand prepared;
            prepared.header = CommandHeader{frame[0], frame[1], frame[2], frame[3], frame[4], frame[5]};
            prepared.requestDataEnabled = true;
            console_.prepare(prepared);
            console_.setRequestHex(common::hexSpaced(std::span(frame).subspan(6)));
            result = console_.send();
        }
        const Exchange *exchange = history_.endSequence() > before ? history_.bySequence(before) : nullptr;
        previous_ = exchange ? replyOf(*exchange) : ScriptReply{result, {}, {}, {}, {}};
        why = replyMismatch(line.expectation(), *previous_);
    } else {
        previous_.reset();
    }
    const std::string place = name_ + ":" + std::to_string(line.number) + ": ";
    if (command) history_.setNewestVerdict(place + (why.empty() ? "cumple" : why));
    if (!why.empty()) {
        ++failures_;
        if (firstFailure_.empty()) firstFailure_ = failureLine(name_, line, why);
    }
    return result;
}

std::string ScriptRun::summary() const {
    std::string text =
        "Guión " + name_ + ": " + std::to_string(commands_) + " comandos, " + std::to_string(failures_) + " fallos";
    if (!firstFailure_.empty()) text += "\n" + firstFailure_;
    if (stopped()) text += "\nDetenido con Escape antes de la línea " + std::to_string(lines_[next_].number);
    return text;
}

}  // namespace kvr::session
