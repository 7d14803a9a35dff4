// The byte patterns the emulator's rules and the card scripts' expected
// replies are written in: what each form reads as, what it matches, and the
// reason a bad one is refused.
#include "common/byte_pattern.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvr::common {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(BytePattern, EachFormReadsAsItsBytesAndMatchesWhatItSays) {
    const struct {
        const char *text;
        const char *written;  // the pattern written back
        Bytes matched;
        Bytes unmatched;
    } rows[] = {
        {"56 45 58 41", "56 45 58 41", {0x56, 0x45, 0x58, 0x41}, {0x56, 0x45, 0x58}},
        {"56455841", "56 45 58 41", {0x56, 0x45, 0x58, 0x41}, {0x56, 0x45, 0x58, 0x41, 0x00}},
        {"3f 0a", "3F 0A", {0x3F, 0x0A}, {0x3F, 0x0B}},
        {"?? 90", "?? 90", {0x12, 0x90}, {0x12, 0x91}},
        {"??", "??", {0xFF}, {}},
        {"56 *", "56 *", {0x56}, {0x57, 0x56}},
        {"56 ?? *", "56 ?? *", {0x56, 0x00, 0x01, 0x02}, {0x56}},
        {"*", "*", {}, {}},  // anything, nothing included: no unmatched row
        {"", "", {}, {0x00}},
        {" \t 6F\t10  *  ", "6F 10 *", {0x6F, 0x10, 0x84}, {0x6F}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        std::string why;
        const auto pattern = parseBytePattern(row.text, why);
        ASSERT_TRUE(pattern) << why;
        EXPECT_EQ(pattern->text(), row.written);
        EXPECT_TRUE(pattern->matches(row.matched));
        if (std::string(row.text) != "*") {
            EXPECT_FALSE(pattern->matches(row.unmatched));
        }
    }
}

TEST(BytePattern, ABadFormIsRefusedWithItsReason) {
    const struct {
        const char *text;
        const char *why;
    } rows[] = {
        {"56 * 45", "\"*\" must be the last pattern token"},
        {"* *", "\"*\" must be the last pattern token"},
        {"3G", "bad pattern token \"3G\""},
        {"564", "bad pattern token \"564\""},
        {"?", "bad pattern token \"?\""},
        {"???", "bad pattern token \"???\""},
        {"5?", "bad pattern token \"5?\""},
        {"56 **", "bad pattern token \"**\""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        std::string why;
        EXPECT_FALSE(parseBytePattern(row.text, why));
        EXPECT_EQ(why, row.why);
    }
}

}  // namespace
}  // namespace kvr::common
