// Trimming fixed-width fields and settings lines.
#include <gtest/gtest.h>

#include "common/text.h"

namespace kvr::common {
namespace {

TEST(Text, TrimmingRemovesWhatEachRuleSays) {
    struct Row {
        const char *text;
        const char *right;   // trimRight: trailing spaces only
        const char *blanks;  // trimBlanks: blanks at both ends
    };
    const Row rows[] = {
        {"", "", ""},
        {"   ", "", ""},
        {"ABC", "ABC", "ABC"},
        {"ABC  ", "ABC", "ABC"},
        {"  ABC", "  ABC", "ABC"},
        {" A B ", " A B", "A B"},
        {"\tkey = value\r\n", "\tkey = value\r\n", "key = value"},
        {"ABC\t ", "ABC\t", "ABC"},
        {"\n\r\t ", "\n\r\t", ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string("text \"") + row.text + "\"");
        EXPECT_EQ(trimRight(row.text), row.right);
        EXPECT_EQ(trimBlanks(row.text), row.blanks);
    }
}

TEST(Text, AUtf8PrefixCountsCharactersNotBytes) {
    struct Row {
        const char *text;
        std::size_t count;
        const char *prefix;
    };
    const Row rows[] = {
        {"", 3, ""},
        {"abc", 0, ""},
        {"abc", 2, "ab"},
        {"abc", 9, "abc"},
        {"a\xC3\xB1o", 2, "a\xC3\xB1"},                   // n with tilde: two bytes
        {"\xE2\x82\xAC\xE2\x82\xAC", 1, "\xE2\x82\xAC"},  // euro sign: three bytes
        {"\xF0\x9F\x98\x80z", 1, "\xF0\x9F\x98\x80"},     // four bytes
        {"\xC3", 1, "\xC3"},                              // a lead byte cut short
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string("text \"") + row.text + "\", count " + std::to_string(row.count));
        EXPECT_EQ(utf8Prefix(row.text, row.count), row.prefix);
    }
}

TEST(Text, TrimmedViewsPointIntoTheTextGiven) {
    const std::string text = "  VEXA  ";
    const std::string_view right = trimRight(text);
    const std::string_view both = trimBlanks(text);
    EXPECT_EQ(right.data(), text.data());
    EXPECT_EQ(both.data(), text.data() + 2);
}

}  // namespace
}  // namespace kvr::common
