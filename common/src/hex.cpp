#include "common/hex.h"

namespace kvr::common {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

void appendByte(std::string &out, uint8_t byte) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

}  // namespace

std::string hexByte(uint8_t byte) {
    std::string out;
    appendByte(out, byte);
    return out;
}

std::string hexSpaced(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const uint8_t byte : bytes) {
        if (!out.empty()) out += ' ';
        appendByte(out, byte);
    }
    return out;
}

std::string hexPacked(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const uint8_t byte : bytes) appendByte(out, byte);
    return out;
}

std::string hexPacked(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) appendByte(out, static_cast<uint8_t>(c));
    return out;
}

std::optional<uint8_t> hexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> bytesOfHex(std::string_view digits) {
    if (digits.size() % 2 != 0) return std::nullopt;
    std::vector<uint8_t> bytes;
    bytes.reserve(digits.size() / 2);
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const auto high = hexDigit(digits[i]);
        const auto low = hexDigit(digits[i + 1]);
        if (!high || !low) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(*high << 4 | *low));
    }
    return bytes;
}

}  // namespace kvr::common
