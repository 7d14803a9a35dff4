#include "report.h"

#include "common/hex.h"
#include "console/status_message.h"

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

std::string jsonString(const std::string &text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[7];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
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
    text += console::statusMessage(outcome.result) + "\n";
    const std::string meaning = console::driverErrorMeaning(outcome.result);
    if (!meaning.empty()) text += meaning + "\n";
    return text;
}

std::string jsonReport(const Outcome &outcome, std::optional<int> line) {
    std::string json = "{";
    if (line) json += "\"line\":" + std::to_string(*line) + ",";
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
    json += ",\"status\":" + jsonString(console::statusMessage(outcome.result));
    const std::string meaning = console::driverErrorMeaning(outcome.result);
    if (!meaning.empty()) json += ",\"meaning\":" + jsonString(meaning);
    return json + "}\n";
}

}  // namespace kvr::cli
