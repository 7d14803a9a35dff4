#include "session/expected_reply.h"

#include "common/hex.h"
#include "session/reader_command.h"

#include <cstdio>

namespace kvr::session {

namespace {

bool isStatusWordToken(std::string_view token) {
    if (token.size() != 4) return false;
    for (const char c : token)
        if (c != '?' && !common::hexDigit(c)) return false;
    return true;
}

bool sameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
    return true;
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char &c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string dataText(const std::vector<uint8_t> &data) { return data.empty() ? "none" : common::hexSpaced(data); }

}  // namespace

std::string driverErrorHex(int32_t result) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(result));
    return text;
}

std::string ExpectedReply::text() const {
    std::string out;
    const auto add = [&out](const std::string &part) {
        if (part.empty()) return;
        if (!out.empty()) out += ' ';
        out += part;
    };
    if (stat != 0) add("stat " + common::hexByte(stat));
    add(statusWord);
    if (data) add(data->bytes.empty() && !data->anyRest ? std::string() : data->text());
    return out;
}

std::optional<ExpectedReply> parseExpectedReply(std::string_view text, bool hasStatusWord, std::string &why) {
    const std::vector<std::string> tokens = splitWords(text);
    ExpectedReply expected;
    std::size_t at = 0;
    if (at < tokens.size() && sameLetters(tokens[at], "stat")) {
        const auto value = at + 1 < tokens.size() && tokens[at + 1].size() == 2 ? common::bytesOfHex(tokens[at + 1])
                                                                                : std::optional<std::vector<uint8_t>>();
        if (!value) {
            why = "\"stat\" takes the STAT byte in two hex digits";
            return std::nullopt;
        }
        expected.stat = (*value)[0];
        at += 2;
    }
    if (hasStatusWord && at < tokens.size() && isStatusWordToken(tokens[at])) expected.statusWord = upper(tokens[at++]);
    if (at < tokens.size()) {
        std::string rest;
        for (; at < tokens.size(); ++at) rest.append(rest.empty() ? "" : " ").append(tokens[at]);
        auto data = common::parseBytePattern(rest, why);
        if (!data) return std::nullopt;
        expected.data = std::move(*data);
    }
    return expected;
}

std::string replyMismatch(const ExpectedReply &expected, const ScriptReply &reply) {
    const std::string wantedStat = "expected STAT " + common::hexByte(expected.stat) + ", got ";
    if (reply.result < 0) return wantedStat + "ERROR " + driverErrorHex(reply.result);
    if (reply.result != expected.stat) return wantedStat + common::hexByte(static_cast<uint8_t>(reply.result));
    if (!expected.statusWord.empty()) {
        if (!reply.sw1 || !reply.sw2) return "expected SW " + expected.statusWord + ", got none";
        const std::string got = common::hexByte(*reply.sw1) + common::hexByte(*reply.sw2);
        for (std::size_t i = 0; i < 4; ++i)
            if (expected.statusWord[i] != '?' && expected.statusWord[i] != got[i])
                return "expected SW " + expected.statusWord + ", got " + got;
    }
    if (expected.data && !expected.data->matches(reply.data)) {
        const std::string wanted =
            expected.data->bytes.empty() && !expected.data->anyRest ? "none" : expected.data->text();
        return "expected DATA " + wanted + ", got " + dataText(reply.data);
    }
    return {};
}

std::optional<ExpectedReply> expectationOf(const ScriptReply &reply) {
    if (reply.result < 0) return std::nullopt;
    ExpectedReply expected;
    expected.stat = static_cast<uint8_t>(reply.result);
    if (reply.sw1 && reply.sw2) expected.statusWord = common::hexByte(*reply.sw1) + common::hexByte(*reply.sw2);
    common::BytePattern data;
    data.bytes.assign(reply.data.begin(), reply.data.end());
    expected.data = std::move(data);
    return expected;
}

}  // namespace kvr::session
