#include "runtime/keyed_file/record_position.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace kvr::runtime {

namespace {

std::string hexOf(const std::string &bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::optional<std::string> bytesOfHex(std::string_view hex) {
    if (hex.size() % 2) return std::nullopt;
    auto value = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = value(hex[i]), lo = value(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
    }
    return out;
}

}  // namespace

std::string positionText(const RecordPosition &position) {
    if (position.recordNumber == 0) return {};
    std::string text(1, position.key ? 'K' : 'R');
    text.append(std::to_string(position.recordNumber));
    if (position.key) {
        text.push_back(':');
        text.append(hexOf(*position.key));
    }
    return text;
}

std::optional<RecordPosition> positionOf(std::string_view text, std::size_t keyWidth) {
    if (text.size() < 2 || (text[0] != 'K' && text[0] != 'R')) return std::nullopt;
    const std::string_view rest = text.substr(1);
    const auto colon = rest.find(':');
    const std::string_view number = rest.substr(0, colon);
    if (number.empty() || number.size() > 10 ||
        !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const unsigned long long recno = std::strtoull(std::string(number).c_str(), nullptr, 10);
    if (recno == 0 || recno > UINT32_MAX) return std::nullopt;
    RecordPosition position{static_cast<std::uint32_t>(recno), std::nullopt};
    if (text[0] == 'K') {
        if (colon == std::string_view::npos) return std::nullopt;
        position.key = bytesOfHex(rest.substr(colon + 1));
        if (!position.key || position.key->size() != keyWidth) return std::nullopt;
    } else if (colon != std::string_view::npos) {
        return std::nullopt;
    }
    return position;
}

}  // namespace kvr::runtime
