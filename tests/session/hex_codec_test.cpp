// The console's hexadecimal forms and the hex pair conversion.
#include "session/hex_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace kvr::session {
namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

TEST(HexForm, IsTwoUpperCaseDigitsForEveryByte) {
    for (int value = 0; value < 256; ++value) {
        const std::string form = hexByte(static_cast<uint8_t>(value));
        ASSERT_EQ(form.size(), 2u);
        EXPECT_EQ(std::stoi(form, nullptr, 16), value);
        for (char c : form) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << form;
    }
    EXPECT_EQ(hexByte(10), "0A");
}

TEST(HexPair, OnlyDigitsAndUpperCaseLettersCount) {
    struct Case {
        const char *pair;
        uint8_t value;
    };
    const Case cases[] = {
        {"1F", 0x1F}, {"1f", 0x10}, {"?A", 0x0A}, {"A ", 0xA0}, {"  ", 0x00},
        {"FF", 0xFF}, {"ab", 0x00}, {"G1", 0x01}, {"9Z", 0x90}, {"00", 0x00},
    };
    for (const auto &c : cases) EXPECT_EQ(hexPair(c.pair[0], c.pair[1]), c.value) << c.pair;
}

TEST(HexPair, ShortFieldsArePaddedWithSpaces) {
    EXPECT_EQ(hexPairOf(""), 0x00);
    EXPECT_EQ(hexPairOf("A"), 0xA0);
    EXPECT_EQ(hexPairOf("A1"), 0xA1);
}

TEST(HexView, EachByteIsFollowedByOneSpace) {
    EXPECT_EQ(hexViewText("ABC"), "41 42 43 ");
    EXPECT_EQ(hexViewText(bytes({0x00, 0xFF, 0x0A})), "00 FF 0A ");
    EXPECT_EQ(hexViewText(""), "");
}

TEST(HexView, ParsingPairsWithAndWithoutSeparators) {
    struct Case {
        const char *text;
        std::string expected;
    };
    const Case cases[] = {
        {"0A0B", bytes({0x0A, 0x0B})},
        {"0A 0B", bytes({0x0A, 0x0B})},
        {"0A B", bytes({0x0A, 0xB0})},
        {"123", bytes({0x12, 0x30})},
        {"ab", bytes({0x00})},
        {"00 A4 04 00", bytes({0x00, 0xA4, 0x04, 0x00})},
        {"  41   ", bytes({0x41})},
        {"", ""},
        {"     ", ""},
        {"00A4040007A0000000031010", bytes({0x00, 0xA4, 0x04, 0x00, 0x07, 0xA0, 0x00, 0x00, 0x00, 0x03, 0x10, 0x10})},
    };
    for (const auto &c : cases) EXPECT_EQ(parseHexView(c.text), c.expected) << '"' << c.text << '"';
}

TEST(HexView, RoundTripOfEveryByte) {
    std::string all;
    for (int v = 0; v < 256; ++v) all += static_cast<char>(v);
    EXPECT_EQ(parseHexView(hexViewText(all)), all);
}

TEST(FixedWidth, CutsAndPads) {
    EXPECT_EQ(fixedWidth("abc", 5), "abc  ");
    EXPECT_EQ(fixedWidth("abcdef", 3), "abc");
    EXPECT_EQ(trimRight("ab  "), "ab");
    EXPECT_EQ(trimRight("   "), "");
}

}  // namespace
}  // namespace kvr::session
