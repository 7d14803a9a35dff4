#include "common/byte_pattern.h"

#include "common/hex.h"

namespace kvr::common {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool BytePattern::matches(std::span<const uint8_t> candidate) const {
    if (candidate.size() < bytes.size() || (!anyRest && candidate.size() != bytes.size())) return false;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] != kAnyByte && bytes[i] != candidate[i]) return false;
    return true;
}

std::string BytePattern::text() const {
    std::string out;
    for (const int byte : bytes) {
        if (!out.empty()) out += ' ';
        out += byte == kAnyByte ? std::string("??") : hexByte(static_cast<uint8_t>(byte));
    }
    if (anyRest) out += out.empty() ? "*" : " *";
    return out;
}

std::optional<BytePattern> parseBytePattern(std::string_view text, std::string &why) {
    BytePattern pattern;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && isBlank(text[at])) ++at;
        std::size_t end = at;
        while (end < text.size() && !isBlank(text[end])) ++end;
        if (end == at) break;
        const std::string_view token = text.substr(at, end - at);
        at = end;
        if (pattern.anyRest) {
            why = "\"*\" must be the last pattern token";
            return std::nullopt;
        }
        if (token == "*") {
            pattern.anyRest = true;
        } else if (token == "??") {
            pattern.bytes.push_back(BytePattern::kAnyByte);
        } else if (const auto bytes = bytesOfHex(token)) {
            pattern.bytes.insert(pattern.bytes.end(), bytes->begin(), bytes->end());
        } else {
            why.assign("bad pattern token \"").append(token).append("\"");
            return std::nullopt;
        }
    }
    return pattern;
}

}  // namespace kvr::common
