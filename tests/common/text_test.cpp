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

TEST(Text, TrimmedViewsPointIntoTheTextGiven) {
    const std::string text = "  VEXA  ";
    const std::string_view right = trimRight(text);
    const std::string_view both = trimBlanks(text);
    EXPECT_EQ(right.data(), text.data());
    EXPECT_EQ(both.data(), text.data() + 2);
}

}  // namespace
}  // namespace kvr::common
