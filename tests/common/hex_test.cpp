// Hexadecimal text of bytes, both ways.
#include <gtest/gtest.h>

#include "common/hex.h"

namespace kvr::common {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(Hex, BytesAreWrittenAsUpperCasePairs) {
    const Bytes bytes = {0x00, 0x0A, 0x7F, 0xA4, 0xFF};
    EXPECT_EQ(hexByte(0x0A), "0A");
    EXPECT_EQ(hexByte(0xF0), "F0");
    EXPECT_EQ(hexSpaced(bytes), "00 0A 7F A4 FF");
    EXPECT_EQ(hexPacked(bytes), "000A7FA4FF");
    EXPECT_EQ(hexPacked(std::string_view("\x00\xE9z", 3)), "00E97A");
    EXPECT_EQ(hexSpaced(Bytes{}), "");
    EXPECT_EQ(hexPacked(Bytes{}), "");
}

TEST(Hex, DigitsOfEitherCaseAreRead) {
    struct Row {
        char c;
        int value;  // -1: not a digit
    };
    const Row rows[] = {{'0', 0},  {'9', 9},  {'A', 10}, {'F', 15}, {'a', 10}, {'f', 15},
                        {'G', -1}, {'g', -1}, {' ', -1}, {'/', -1}, {':', -1}, {'\0', -1}};
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string("digit '") + row.c + "'");
        const auto digit = hexDigit(row.c);
        if (row.value < 0)
            EXPECT_FALSE(digit.has_value());
        else
            EXPECT_EQ(digit, std::optional<uint8_t>(static_cast<uint8_t>(row.value)));
    }
}

TEST(Hex, ParsingTakesEvenRunsOfDigitsOnly) {
    struct Row {
        const char *text;
        std::optional<Bytes> bytes;
    };
    const Row rows[] = {
        {"", Bytes{}},
        {"00", Bytes{0x00}},
        {"a4Ff", Bytes{0xA4, 0xFF}},
        {"3F002F00", Bytes{0x3F, 0x00, 0x2F, 0x00}},
        {"1", std::nullopt},
        {"123", std::nullopt},
        {"0G", std::nullopt},
        {"0A 0B", std::nullopt},
        {"+1", std::nullopt},
        {"0x", std::nullopt},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string("text \"") + row.text + "\"");
        EXPECT_EQ(bytesOfHex(row.text), row.bytes);
    }
}

TEST(Hex, EveryByteSurvivesTheRoundTrip) {
    Bytes all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<uint8_t>(b));
    EXPECT_EQ(bytesOfHex(hexPacked(all)), all);
}

}  // namespace
}  // namespace kvr::common
