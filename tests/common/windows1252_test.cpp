// The Windows-1252 table against the one Python's codec gives, and the
// UTF-8 conversions built on it.
#include <gtest/gtest.h>

#include <cstdio>

#include "common/windows1252.h"

namespace kvr::common {
namespace {

constexpr long kPythonCp1252[256] = {
#include "cp1252_table.inc"
};

std::string codeText(char32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04lX", static_cast<unsigned long>(c));
    return text;
}

TEST(Windows1252, EveryByteHasTheCharacterPythonsCodecGives) {
    for (int byte = 0; byte < 256; ++byte) {
        SCOPED_TRACE("byte " + std::to_string(byte));
        const long python = kPythonCp1252[byte];
        // Bytes the code page leaves undefined keep their own value.
        const char32_t expected = python < 0 ? static_cast<char32_t>(byte) : static_cast<char32_t>(python);
        EXPECT_EQ(codeText(unicodeOfWestern(static_cast<uint8_t>(byte))), codeText(expected));
        EXPECT_EQ(westernOfUnicode(expected), std::optional<uint8_t>(static_cast<uint8_t>(byte)));
    }
}

TEST(Windows1252, CharactersOutsideTheCodePageHaveNoByte) {
    for (const char32_t c : {0x80u, 0x9Fu, 0x100u, 0x2400u, 0x20ADu, 0xFFFDu, 0x1F600u}) {
        SCOPED_TRACE(codeText(c));
        EXPECT_FALSE(westernOfUnicode(c).has_value());
    }
}

TEST(Windows1252, Utf8ConversionsFollowTheTable) {
    struct Row {
        const char *name;
        std::string western;
        std::string utf8;
    };
    const Row rows[] = {
        {"ASCII", "VEXA 2F00", "VEXA 2F00"},
        {"Latin-1 letters", "Tarjeta \xF1\xE1", "Tarjeta \xC3\xB1\xC3\xA1"},
        {"euro sign and quotes", "\x80 \x93x\x94", "\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D"},
        {"undefined byte", "\x81", "\xC2\x81"},
        {"NUL", std::string(1, '\0'), std::string(1, '\0')},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(utf8OfWestern(row.western), row.utf8);
        EXPECT_EQ(westernOfUtf8(row.utf8), row.western);
    }
}

TEST(Windows1252, Utf8TheCodePageCannotHoldBecomesTheReplacement) {
    struct Row {
        const char *name;
        std::string utf8;
        std::string western;
    };
    const Row rows[] = {
        {"CJK character", "a\xE4\xB8\xADz", "a?z"},  {"emoji", "\xF0\x9F\x98\x80", "?"},
        {"lone continuation byte", "a\x80z", "a?z"}, {"truncated sequence", "a\xC3", "a?"},
        {"overlong slash", "\xC0\xAF", "??"},        {"surrogate", "\xED\xA0\x80", "???"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(westernOfUtf8(row.utf8), row.western);
    }
    EXPECT_EQ(westernOfUtf8("\xE4\xB8\xAD", '_'), "_");
}

}  // namespace
}  // namespace kvr::common
