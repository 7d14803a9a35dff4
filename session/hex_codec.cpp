#include "session/hex_codec.h"

namespace kvr::session {

uint8_t hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
    return 0;
}

uint8_t hexPair(char high, char low) { return static_cast<uint8_t>((hexDigitValue(high) << 4) | hexDigitValue(low)); }

uint8_t hexPairOf(std::string_view field) {
    const char high = !field.empty() ? field[0] : ' ';
    const char low = field.size() > 1 ? field[1] : ' ';
    return hexPair(high, low);
}

std::string hexViewText(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (char c : bytes) {
        text += hexByte(static_cast<uint8_t>(c));
        text += ' ';
    }
    return text;
}

std::string parseHexView(std::string_view text) {
    const std::string_view shown = trimRight(text);
    std::string bytes;
    std::size_t i = 0;
    while (i < shown.size()) {
        if (shown[i] == ' ') {
            ++i;
            continue;
        }
        const char low = i + 1 < shown.size() ? shown[i + 1] : ' ';
        bytes += static_cast<char>(hexPair(shown[i], low));
        i += 2;
    }
    return bytes;
}

std::string fixedWidth(std::string_view text, std::size_t width) {
    std::string out(text.substr(0, width));
    out.resize(width, ' ');
    return out;
}

}  // namespace kvr::session
