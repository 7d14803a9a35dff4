#include "rules.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "common/hex.h"
#include "common/unique_fd.h"

namespace kvr7x::emu {

namespace {

// Far more than any hand-written rules file.
constexpr long kMaxRulesFile = 1024L * 1024;

// Appends the bytes of one token of hex digits; false if it is not one.
bool hexToken(const std::string &token, std::vector<int> &out) {
    const auto bytes = kvr::common::bytesOfHex(token);
    if (token.empty() || !bytes) return false;
    out.insert(out.end(), bytes->begin(), bytes->end());
    return true;
}

bool hexBytes(const std::string &text, std::vector<int> &out, std::string &bad) {
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
        if (!hexToken(token, out)) {
            bad = token;
            return false;
        }
    }
    return true;
}

// The pattern side of a rule: false with `why` when it is not one.
bool parsePattern(const std::string &text, Rule &rule, std::string &why) {
    auto pattern = kvr::common::parseBytePattern(text, why);
    if (!pattern) return false;
    if (pattern->bytes.empty() && !pattern->anyRest) {
        why = "empty pattern";
        return false;
    }
    rule.pattern = std::move(*pattern);
    return true;
}

// The reply side of a rule, STAT SW1 SW2 [| DATA]: false with `why` when it
// is not one.
bool parseReply(std::string text, Reply &reply, std::string &why) {
    std::string dataText;
    const auto bar = text.find('|');
    if (bar != std::string::npos) {
        dataText = text.substr(bar + 1);
        text.erase(bar);
    }
    std::vector<int> head;
    std::vector<int> data;
    std::string bad;
    if (!hexBytes(text, head, bad) || !hexBytes(dataText, data, bad)) {
        why = "bad reply byte \"" + bad + "\"";
        return false;
    }
    if (head.size() != 3) {
        why = "the reply needs exactly STAT SW1 SW2 before \"|\"";
        return false;
    }
    if (data.size() > 255) {
        why = "more than 255 reply data bytes";
        return false;
    }
    reply.stat = static_cast<uint8_t>(head[0]);
    reply.sw1 = static_cast<uint8_t>(head[1]);
    reply.sw2 = static_cast<uint8_t>(head[2]);
    reply.data.assign(data.begin(), data.end());
    return true;
}

}  // namespace

bool RuleSet::parse(const std::string &text, std::string &error) {
    std::vector<Rule> rules;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        const auto hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        const auto arrow = line.find("=>");
        Rule rule;
        rule.line = number;
        std::string why;
        if (arrow == std::string::npos)
            why = "no \"=>\" between pattern and reply";
        else if (parsePattern(line.substr(0, arrow), rule, why))
            parseReply(line.substr(arrow + 2), rule.reply, why);
        if (!why.empty()) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
        rules.push_back(std::move(rule));
    }
    rules_ = std::move(rules);
    return true;
}

bool RuleSet::load(const std::string &path, std::string &error) {
    // Opened without waiting, so that a FIFO cannot hold the start, and
    // looked at before a byte is read: only a regular file of sane size.
    const kvr::common::UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file) {
        error = "cannot read rules file " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    std::string text;
    const bool regular = ::fstat(file.get(), &st) == 0 && S_ISREG(st.st_mode);
    if (!regular || st.st_size > kMaxRulesFile) {
        error = "rules file " + path +
                (regular               ? " is larger than " + std::to_string(kMaxRulesFile / 1024) + " KiB"
                 : S_ISDIR(st.st_mode) ? " is a folder, not a file"
                                       : " is not a regular file");
        return false;
    }
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(file.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "cannot read rules file " + path + ": " + std::strerror(errno);
            return false;
        }
        if (n == 0 || text.size() + static_cast<size_t>(n) > kMaxRulesFile) break;
        text.append(buf, static_cast<size_t>(n));
    }
    if (!parse(text, error)) {
        error = path + ", " + error;
        return false;
    }
    return true;
}

std::optional<Reply> RuleSet::match(const std::vector<uint8_t> &frame) const {
    for (const Rule &rule : rules_)
        if (rule.pattern.matches(frame)) return rule.reply;
    return std::nullopt;
}

}  // namespace kvr7x::emu
