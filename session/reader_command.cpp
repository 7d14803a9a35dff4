#include "session/reader_command.h"

#include "session/command_console.h"
#include "common/hex.h"
#include "common/reader_protocol.h"

#include <charconv>

namespace kvr::session {

namespace {

constexpr uint32_t kLongestTimeoutMs = 3600000;

std::optional<uint8_t> parseByte(std::string_view word) {
    if (word.empty() || word.size() > 2) return std::nullopt;
    uint8_t value = 0;
    for (const char c : word) {
        const auto digit = common::hexDigit(c);
        if (!digit) return std::nullopt;
        value = static_cast<uint8_t>(value * 16 + *digit);
    }
    return value;
}

bool appendHex(std::string_view word, std::vector<uint8_t> &data) {
    const auto bytes = common::bytesOfHex(word);
    if (!bytes) return false;
    data.insert(data.end(), bytes->begin(), bytes->end());
    return true;
}

struct Grammar {
    Operation operation;
    const char *name;
    const char *usage;
    std::size_t headerBytes;  // the byte words that must follow the name
    bool takesData;
};

constexpr Grammar kGrammars[] = {
    {Operation::Reset, "reset", "reset", 0, false},
    {Operation::Status, "status", "status [UNIT]", 0, false},
    {Operation::Send, "send", "send CODE CLA INS P1 P2 P3 [DATA]", 6, true},
    {Operation::IsoIn, "isoin", "isoin UNIT CLA INS P1 P2 [DATA]", 5, true},
    {Operation::IsoOut, "isoout", "isoout UNIT CLA INS P1 P2 P3", 6, false},
};

}  // namespace

std::string_view operationName(Operation operation) {
    for (const Grammar &grammar : kGrammars)
        if (grammar.operation == operation) return grammar.name;
    return {};
}

std::vector<std::string> splitWords(std::string_view line) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) ++at;
        std::size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r') ++end;
        if (end > at) words.emplace_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

namespace {

// Takes "-t MS" out of the words after the command's name; the other words
// are the operands.  False with `error` for a bad time-out or one the
// command does not take.
bool splitTimeout(const std::vector<std::string> &words, bool timed, const std::string &usage,
                  std::optional<uint32_t> &timeout, std::vector<std::string_view> &operands, std::string &error) {
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (words[i] != "-t") {
            operands.emplace_back(words[i]);
            continue;
        }
        uint32_t value = 0;
        const std::string &text = i + 1 < words.size() ? words[i + 1] : std::string();
        const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || failure != std::errc() || end != text.data() + text.size() || value == 0 ||
            value > kLongestTimeoutMs) {
            error = "-t takes a time-out in milliseconds from 1 to " + std::to_string(kLongestTimeoutMs);
            return false;
        }
        if (!timed) {
            error = "-t applies to send, isoin and isoout (" + usage + ")";
            return false;
        }
        timeout = value;
        ++i;
    }
    return true;
}

// The header bytes the grammar wants, then the data words.  The messages
// are built by appending: GCC 12 warns falsely (-Wrestrict) on "\"" +
// std::string(...) + ... here in an optimised build.
bool readOperands(const Grammar &grammar, const std::vector<std::string_view> &operands, const std::string &usage,
                  std::vector<uint8_t> &header, std::vector<uint8_t> &data, std::string &error) {
    std::size_t wanted = grammar.headerBytes;
    if (grammar.operation == Operation::Status && !operands.empty()) wanted = 1;
    if (operands.size() < wanted || (!grammar.takesData && operands.size() > wanted)) {
        error = usage;
        return false;
    }
    for (std::size_t i = 0; i < wanted; ++i) {
        const auto byte = parseByte(operands[i]);
        if (!byte) {
            error.assign(1, '"')
                .append(operands[i])
                .append("\" is not a byte in hexadecimal (")
                .append(usage)
                .append(")");
            return false;
        }
        header.push_back(*byte);
    }
    for (std::size_t i = wanted; i < operands.size(); ++i) {
        if (!appendHex(operands[i], data)) {
            error.assign(1, '"').append(operands[i]).append("\" is not data in hexadecimal (pairs of digits)");
            return false;
        }
    }
    return true;
}

// send CODE CLA INS P1 P2 P3 [DATA]: the data block must be what CODE says.
bool fillSend(const std::vector<uint8_t> &header, ReaderCommand &command, std::string &error) {
    command.code = header[0];
    command.cla = header[1];
    command.ins = header[2];
    command.p1 = header[3];
    command.p2 = header[4];
    command.p3 = header[5];
    if (command.code & 0x80) {
        // A data block of P3 bytes follows the header (256 when P3 is 0).
        const std::size_t blockSize = command.p3 == 0 ? 256 : command.p3;
        if (command.data.size() == blockSize) return true;
        error = "CODE " + common::hexByte(command.code) + " sends a data block of " + std::to_string(blockSize) +
                " bytes (P3); DATA has " + std::to_string(command.data.size());
        return false;
    }
    if (command.data.empty()) return true;
    error = "CODE " + common::hexByte(command.code) + " sends no data block (bit 7 is clear); DATA is too many";
    return false;
}

// isoin UNIT CLA INS P1 P2 [DATA] and isoout UNIT CLA INS P1 P2 P3.
bool fillIso(const std::vector<uint8_t> &header, ReaderCommand &command, std::string &error) {
    command.unit = header[0];
    command.cla = header[1];
    command.ins = header[2];
    command.p1 = header[3];
    command.p2 = header[4];
    if (command.operation == Operation::IsoOut) {
        command.p3 = header[5];
        return true;
    }
    if (command.data.size() > 255) {
        error = "isoin sends at most 255 data bytes";
        return false;
    }
    command.p3 = static_cast<uint8_t>(command.data.size());
    return true;
}

}  // namespace

std::optional<ReaderCommand> parseReaderCommand(const std::vector<std::string> &words, std::string &error) {
    if (words.empty()) {
        error = "no command given (reset, status, send, isoin, isoout or run)";
        return std::nullopt;
    }
    const Grammar *grammar = nullptr;
    for (const Grammar &candidate : kGrammars)
        if (words[0] == candidate.name) grammar = &candidate;
    if (!grammar) {
        error = "unknown command \"" + words[0] + "\"";
        return std::nullopt;
    }
    const bool timed = grammar->operation != Operation::Reset && grammar->operation != Operation::Status;
    const std::string usage = std::string("usage: ") + grammar->usage + (timed ? " [-t MS]" : "");

    std::optional<uint32_t> timeout;
    std::vector<std::string_view> operands;
    if (!splitTimeout(words, timed, usage, timeout, operands, error)) return std::nullopt;

    ReaderCommand command;
    command.operation = grammar->operation;
    std::vector<uint8_t> header;
    if (!readOperands(*grammar, operands, usage, header, command.data, error)) return std::nullopt;

    bool filled = true;
    switch (grammar->operation) {
    case Operation::Reset: break;
    case Operation::Status:
        if (!header.empty()) command.unit = header[0];
        break;
    case Operation::Send: filled = fillSend(header, command, error); break;
    case Operation::IsoIn:
    case Operation::IsoOut: filled = fillIso(header, command, error); break;
    }
    if (!filled) return std::nullopt;
    if (command.unit > reader::kHighestUnit) {
        error = "UNIT is 0 (the card) or 1 to 3 (the SAM slots)";
        return std::nullopt;
    }
    if (grammar->operation == Operation::Send)
        command.timeoutMs = chooseTimeout(common::hexByte(command.code), common::hexByte(command.ins));
    if (timeout) command.timeoutMs = *timeout;
    return command;
}

}  // namespace kvr::session
