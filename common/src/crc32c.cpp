#include "common/crc32c.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace kvr::common {

namespace {

constexpr std::uint32_t kPolynomial = 0x82F63B78u;

// table[0]: the CRC of one byte; table[k]: of that byte followed by k zero
// bytes, so that eight bytes are folded in at once.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables makeTables() {
    Tables t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? (c >> 1) ^ kPolynomial : c >> 1;
        t[0][n] = c;
    }
    for (std::size_t k = 1; k < 8; ++k)
        for (std::size_t n = 0; n < 256; ++n) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFFu];
    return t;
}

constexpr Tables kTables = makeTables();

std::uint32_t loadLittleEndian32(const unsigned char *p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::uint32_t crc32c(std::string_view bytes, std::uint32_t crc) {
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    std::size_t n = bytes.size();
    std::uint32_t c = ~crc;
    for (; n >= 8; p += 8, n -= 8) {
        const std::uint32_t low = loadLittleEndian32(p) ^ c, high = loadLittleEndian32(p + 4);
        c = kTables[7][low & 0xFFu] ^ kTables[6][(low >> 8) & 0xFFu] ^ kTables[5][(low >> 16) & 0xFFu] ^
            kTables[4][low >> 24] ^ kTables[3][high & 0xFFu] ^ kTables[2][(high >> 8) & 0xFFu] ^
            kTables[1][(high >> 16) & 0xFFu] ^ kTables[0][high >> 24];
    }
    for (; n > 0; ++p, --n) c = (c >> 8) ^ kTables[0][(c ^ *p) & 0xFFu];
    return ~c;
}

}  // namespace kvr::common
