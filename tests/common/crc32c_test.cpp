#include "common/crc32c.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kvr::common::crc32c;

// One bit at a time, as the polynomial defines it: what the tables must
// agree with.
std::uint32_t bitByBit(const std::string &bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? (c >> 1) ^ 0x82F63B78u : c >> 1;
    }
    return ~c;
}

TEST(Crc32cTest, GivesTheStandardsCheckValuesAndAgreesWithTheBitwiseDefinitionAtEveryLength) {
    std::string ascending, descending;
    for (int i = 0; i < 32; ++i) {
        ascending += static_cast<char>(i);
        descending += static_cast<char>(31 - i);
    }
    struct Row {
        const char *what;
        std::string bytes;
        std::uint32_t crc;
    };
    // The catalogue's check value and the test patterns of RFC 3720, B.4.
    const Row rows[] = {{"\"123456789\"", "123456789", 0xE3069283u},
                        {"32 zero bytes", std::string(32, '\0'), 0x8A9136AAu},
                        {"32 bytes of FF", std::string(32, '\xFF'), 0x62A8AB43u},
                        {"00 to 1F", ascending, 0x46DD794Eu},
                        {"1F down to 00", descending, 0x113FDB5Cu},
                        {"nothing", "", 0u}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(crc32c(row.bytes), row.crc);
    }
    // Every length and alignment the eight-byte steps and the tail meet.
    std::string bytes;
    for (int i = 0; i < 200; ++i) bytes += static_cast<char>(i * 37 + 11);
    for (std::size_t from = 0; from < 8; ++from)
        for (std::size_t length = 0; from + length <= bytes.size(); length += 7) {
            SCOPED_TRACE(testing::Message() << from << "+" << length);
            const std::string part = bytes.substr(from, length);
            ASSERT_EQ(crc32c(part), bitByBit(part));
            // Continued over a split, the same as in one call.
            ASSERT_EQ(crc32c(part.substr(length / 3), crc32c(part.substr(0, length / 3))), bitByBit(part));
        }
}

}  // namespace
