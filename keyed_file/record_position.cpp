#include "keyed_file/record_position.h"

#include "common/hex.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

namespace kvr::keyed {

namespace {

// The key's bytes from their digits (either case); nothing for a text that
// is not whole digit pairs.
std::optional<std::string> keyOfHex(std::string_view hex) {
    const std::optional<std::vector<uint8_t>> bytes = common::bytesOfHex(hex);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

}  // namespace

std::string positionText(const RecordPosition &position) {
    if (position.recordNumber == 0) return {};
    std::string text(1, position.key ? 'K' : 'R');
    text.append(std::to_string(position.recordNumber));
    if (position.key) {
        text.push_back(':');
        text.append(common::hexPacked(*position.key));
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
        position.key = keyOfHex(rest.substr(colon + 1));
        if (!position.key || position.key->size() != keyWidth) return std::nullopt;
    } else if (colon != std::string_view::npos) {
        return std::nullopt;
    }
    return position;
}

}  // namespace kvr::keyed
