#include "report.h"

#include "common/hex.h"
#include "session/status_message.h"

#include <cstdio>

namespace kvr::cli {

namespace {

std::string printable(const std::vector<uint8_t> &bytes) {
    std::string text;
    for (const uint8_t byte : bytes) text += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
    return text;
}

std::string errorHex(int32_t result) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(result));
    return text;
}

}  // namespace

namespace {

// The length of the UTF-8 character at the start of text, 0 when none
// starts there.
std::size_t utf8Length(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // at most U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

}  // namespace

bool isUtf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = utf8Length(text);
        if (length == 0) return false;
        text.remove_prefix(length);
    }
    return true;
}

std::string jsonString(const std::string &text) {
    std::string out = "\"";
    std::string_view rest = text;
    while (!rest.empty()) {
        const char c = rest[0];
        const auto byte = static_cast<unsigned char>(c);
        const std::size_t length = utf8Length(rest);
        if (length == 0) {
            out += "\\uFFFD";
            rest.remove_prefix(1);
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[7];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
            out += escaped;
        } else {
            out.append(rest.substr(0, length));
        }
        rest.remove_prefix(length);
    }
    return out + "\"";
}

std::string jsonText(const std::string &name, const std::string &text) {
    // Appended, not added: GCC 12 warns falsely (-Wrestrict) on "," +
    // std::string(...) here in an optimised build.
    std::string member = jsonString(name);
    member.append(":").append(jsonString(text));
    if (!isUtf8(text)) {
        member.append(",").append(jsonString(name + "_hex")).append(":\"");
        member.append(common::hexPacked(std::string_view(text))).append("\"");
    }
    return member;
}

std::string textReport(const Outcome &outcome) {
    std::string text;
    if (outcome.result < 0) {
        text += "ERROR " + errorHex(outcome.result) + "\n";
    } else {
        text += "STAT " + common::hexByte(static_cast<uint8_t>(outcome.result));
        if (outcome.sw1) text += "  SW1 " + common::hexByte(*outcome.sw1);
        if (outcome.sw2) text += "  SW2 " + common::hexByte(*outcome.sw2);
        if (outcome.length) text += "  LEN " + common::hexByte(static_cast<uint8_t>(*outcome.length));
        text += "\n";
        if (!outcome.data.empty()) {
            text += "DATA " + common::hexSpaced(outcome.data) + "\n";
            text += "TEXT " + printable(outcome.data) + "\n";
        }
        if (outcome.cardPresent) text += std::string("CARD ") + (*outcome.cardPresent ? "present" : "absent") + "\n";
        if (outcome.readerPowered) text += std::string("POWER ") + (*outcome.readerPowered ? "on" : "off") + "\n";
    }
    text += session::statusMessage(outcome.result) + "\n";
    const std::string meaning = session::driverErrorMeaning(outcome.result);
    if (!meaning.empty()) text += meaning + "\n";
    return text;
}

std::string jsonReport(const Outcome &outcome, std::optional<int> line, const LineVerdict *verdict) {
    std::string json = "{";
    if (line) json += "\"line\":" + std::to_string(*line) + ",";
    if (verdict) {
        json += jsonText("text", verdict->text) + ",";
        json += jsonText("expect", verdict->expected.empty() ? "stat 00" : verdict->expected) + ",";
        json += std::string("\"verdict\":") + (verdict->failure.empty() ? "\"pass\"," : "\"fail\",");
        if (!verdict->failure.empty()) json += jsonText("failure", verdict->failure) + ",";
    }
    json += "\"command\":" + jsonString(std::string(operationName(outcome.operation)));
    json += std::string(",\"ok\":") + (outcome.succeeded() ? "true" : "false");
    json += ",\"result\":" + std::to_string(outcome.result);
    if (outcome.result < 0) {
        json += ",\"error\":\"" + errorHex(outcome.result) + "\"";
    } else {
        json += ",\"stat\":\"" + common::hexByte(static_cast<uint8_t>(outcome.result)) + "\"";
        if (outcome.sw1) json += ",\"sw1\":\"" + common::hexByte(*outcome.sw1) + "\"";
        if (outcome.sw2) json += ",\"sw2\":\"" + common::hexByte(*outcome.sw2) + "\"";
        if (outcome.length) json += ",\"len\":" + std::to_string(*outcome.length);
        if (!outcome.data.empty() || outcome.length) json += ",\"data\":\"" + common::hexPacked(outcome.data) + "\"";
        if (outcome.cardPresent) json += std::string(",\"card\":") + (*outcome.cardPresent ? "true" : "false");
        if (outcome.readerPowered) json += std::string(",\"power\":") + (*outcome.readerPowered ? "true" : "false");
    }
    json += ",\"status\":" + jsonString(session::statusMessage(outcome.result));
    const std::string meaning = session::driverErrorMeaning(outcome.result);
    if (!meaning.empty()) json += ",\"meaning\":" + jsonString(meaning);
    return json + "}\n";
}

}  // namespace kvr::cli
