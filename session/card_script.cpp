#include "session/card_script.h"

#include "common/hex.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace kvr::session {

namespace {

constexpr std::string_view kPlaceholders[] = {"$SW1", "$SW2", "$LEN"};

bool isPlaceholder(std::string_view word) {
    for (const std::string_view placeholder : kPlaceholders)
        if (word == placeholder) return true;
    return false;
}

// The value a placeholder stands for in the previous reply; nullopt when
// that reply has none.
std::optional<uint8_t> placeholderValue(std::string_view word, const ScriptReply &previous) {
    if (word == "$SW1") return previous.sw1;
    if (word == "$SW2") return previous.sw2;
    const auto length = previous.length.value_or(static_cast<int32_t>(previous.data.size()));
    return static_cast<uint8_t>(length & 0xFF);
}

}  // namespace

bool hasStatusWord(Operation operation) {
    return operation == Operation::Send || operation == Operation::IsoIn || operation == Operation::IsoOut;
}

bool ScriptParser::fail(std::string reason) {
    error_ = name_ + ":" + std::to_string(number_) + ": " + std::move(reason);
    return false;
}

bool ScriptParser::feed(std::string_view bytes) {
    if (!error_.empty() || finished_) return false;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        const std::size_t taken = end == std::string_view::npos ? piece.size() : piece.size() + 1;
        if (total_ + taken > kScriptSizeLimit) {
            ++number_;
            return fail("the script is longer than " + std::to_string(kScriptSizeLimit) + " bytes");
        }
        total_ += taken;
        if (pending_.size() + piece.size() > kScriptLineLimit) {
            ++number_;
            return fail("the line is longer than " + std::to_string(kScriptLineLimit) + " bytes");
        }
        pending_.append(piece);
        if (end == std::string_view::npos) return true;
        bytes.remove_prefix(taken);
        std::string line;
        line.swap(pending_);
        if (!takeLine(line)) return false;
    }
    return true;
}

bool ScriptParser::finish() {
    if (!error_.empty() || finished_) return false;
    finished_ = true;
    if (pending_.empty()) return true;
    std::string line;
    line.swap(pending_);
    return takeLine(line);
}

namespace {

// A line's three parts: the command's words, what follows "=>", the comment.
struct LineParts {
    std::string_view command;
    std::optional<std::string_view> expected;
    std::string comment;
};

LineParts splitLine(std::string_view line) {
    LineParts parts;
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) {
        parts.comment = std::string(line.substr(hash));
        if (!parts.comment.empty() && parts.comment.back() == '\r') parts.comment.pop_back();
        line = line.substr(0, hash);
    }
    if (const std::size_t arrow = line.find("=>"); arrow != std::string_view::npos) {
        parts.expected = line.substr(arrow + 2);
        line = line.substr(0, arrow);
    }
    parts.command = line;
    return parts;
}

}  // namespace

std::string ScriptParser::fillPlaceholders(std::vector<std::string> &words, bool &takesReply) const {
    for (std::string &word : words) {
        if (word.empty() || word[0] != '$') continue;
        if (!isPlaceholder(word)) return "unknown placeholder \"" + word + "\" ($SW1, $SW2 or $LEN)";
        if (lines_.empty()) return word + " stands before any reply";
        const Operation before = lines_.back().command.operation;
        if (word != "$LEN" && !hasStatusWord(before))
            return word + " takes the status word of the line before, and " + std::string(operationName(before)) +
                   " gives none";
        takesReply = true;
        word = "00";
    }
    return {};
}

bool ScriptParser::takeLine(std::string_view line) {
    ++number_;
    source_.emplace_back(line);
    LineParts parts = splitLine(line);
    const std::vector<std::string> words = splitWords(parts.command);
    if (words.empty()) return !parts.expected || fail("\"=>\" follows no command");

    ScriptLine parsed;
    parsed.number = number_;
    parsed.comment = std::move(parts.comment);
    std::vector<std::string> filled = words;
    if (std::string why = fillPlaceholders(filled, parsed.takesReply); !why.empty()) return fail(std::move(why));
    std::string reason;
    const auto command = parseReaderCommand(filled, reason);
    if (!command) return fail(reason);
    parsed.command = *command;
    if (parts.expected) {
        parsed.expected = parseExpectedReply(*parts.expected, hasStatusWord(command->operation), reason);
        if (!parsed.expected) return fail(reason);
    }
    for (const std::string &word : words) parsed.text.append(parsed.text.empty() ? "" : " ").append(word);
    // The words are kept for the placeholders only: a script at its limit
    // holds some 150,000 lines.
    if (parsed.takesReply) parsed.words = words;
    lines_.push_back(std::move(parsed));
    return true;
}

std::optional<std::vector<ScriptLine>> parseScript(std::string_view text, std::string_view name, std::string &error) {
    ScriptParser parser{std::string(name)};
    if (!parser.feed(text) || !parser.finish()) {
        error = parser.error();
        return std::nullopt;
    }
    return parser.lines();
}

bool readScriptFile(const std::string &path, ScriptParser &parser, std::string &error) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    char buffer[8192];
    bool read = true;
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
        if (got > 0 && !parser.feed(std::string_view(buffer, got))) {
            error = parser.error();
            read = false;
            break;
        }
        if (got < sizeof buffer) {
            if (std::ferror(file)) {
                error = "cannot read " + path + ": " + std::strerror(errno);
                read = false;
            }
            break;
        }
    }
    std::fclose(file);
    if (read && !parser.finish()) {
        error = parser.error();
        read = false;
    }
    return read;
}

std::optional<ReaderCommand> commandFor(const ScriptLine &line, const ScriptReply *previous, std::string &why) {
    if (!line.takesReply) return line.command;
    std::vector<std::string> filled = line.words;
    for (std::string &word : filled) {
        if (!isPlaceholder(word)) continue;
        const auto value = previous ? placeholderValue(word, *previous) : std::nullopt;
        if (!value) {
            why = word + " has no value: the line before got no status word";
            return std::nullopt;
        }
        word = common::hexByte(*value);
    }
    return parseReaderCommand(filled, why);
}

std::string failureLine(std::string_view name, const ScriptLine &line, std::string_view why) {
    std::string out(name);
    out.append(":").append(std::to_string(line.number)).append(": ").append(line.text).append(": ").append(why);
    return out;
}

}  // namespace kvr::session
