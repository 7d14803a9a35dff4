#include "session/exchange_script.h"

#include "common/hex.h"
#include "session/script_record.h"
#include "session/script_run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kvr::session {

namespace {

std::vector<uint8_t> frameOf(const Exchange &exchange) {
    if (exchange.kind == Exchange::Kind::Reset) return {};
    const CommandHeader &h = exchange.header;
    std::vector<uint8_t> frame = {h.code, h.cla, h.ins, h.p1, h.p2, h.p3};
    frame.insert(frame.end(), exchange.sent.begin(), exchange.sent.end());
    return frame;
}

std::string commandText(const Exchange &exchange) {
    if (exchange.kind == Exchange::Kind::Reset) return "reset";
    const std::vector<uint8_t> frame = frameOf(exchange);
    // Appended, not added: GCC 12 warns falsely (-Wrestrict) on "send " +
    // std::string(...) in an optimised build.
    std::string text("send ");
    text.append(common::hexSpaced(std::span(frame).first(6)));
    if (frame.size() > 6) text.append(" ").append(common::hexPacked(std::span(frame).subspan(6)));
    return text;
}

}  // namespace

std::string exchangesAsScript(const std::vector<const Exchange *> &exchanges) {
    std::string text = "# kvrman1: the exchanges of the history, each reply as its expectation\n";
    for (const Exchange *exchange : exchanges) text += recordedLine(commandText(*exchange), replyOf(*exchange)) + "\n";
    return text;
}

std::string exchangesAsRules(const std::vector<const Exchange *> &exchanges) {
    std::string text = "# kvr7x-emu --rules: the exchanges of the kvrman1 history\n";
    RuleRecorder rules;
    for (const Exchange *exchange : exchanges) text += rules.add(frameOf(*exchange), replyOf(*exchange)) + "\n";
    return text;
}

bool writeTextFile(const std::string &path, const std::string &text, std::string &error) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return true;
    error = std::strerror(written ? errno : writeErrno);
    return false;
}

}  // namespace kvr::session
