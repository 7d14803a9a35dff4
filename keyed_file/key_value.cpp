#include "keyed_file/key_value.h"

namespace kvr::keyed {

unsigned char westernUpper(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A: return 0x8A;  // š
    case 0x9C: return 0x8C;  // œ
    case 0x9E: return 0x8E;  // ž
    case 0xFF: return 0x9F;  // ÿ
    default: return c;
    }
}

std::optional<std::string> keyValueOf(std::string_view field, std::size_t width) {
    std::string value(width, ' ');
    bool blank = true;
    for (std::size_t i = 0; i < width && i < field.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(field[i]);
        if (c == 0) c = ' ';
        if (c != ' ') blank = false;
        value[i] = static_cast<char>(westernUpper(c));
    }
    if (blank) return std::nullopt;
    return value;
}

}  // namespace kvr::keyed
