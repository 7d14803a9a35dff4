// Entry fields typed into through the system's input queue.
#include "runtime/win32/window.h"
#include "script.h"

#include <gtest/gtest.h>

namespace kvr::runtime::win32 {
namespace {

using test::pressKeys;
using test::Script;

WindowDefinition entryWindow() {
    WindowDefinition definition;
    definition.name = "ENTRY$TEST";
    definition.title = "Campos";
    definition.clientWidth = 160;
    definition.clientHeight = 60;
    return definition;
}

TEST(EntryField, ReportsEachTypedKeyOnceAndNothingWhileReadOnlyOrSetByTheProgram) {
    Window window(entryWindow());
    EntryField &field = window.addEntryField(8, 10, 10, 100, 12, true);
    int edits = 0;
    std::vector<std::string> seen;
    field.edited = [&] {
        ++edits;
        seen.push_back(field.text());
    };
    Script script;
    script
        .step(
            "focus", [&] { field.setFocus(); }, [&] { return GetFocus() == field.handle(); })
        .step(
            "type abc",
            [] {
                pressKeys({'A', 'B', 'C'});
            },
            [&] { return edits >= 3; })
        .step("the program sets a text", [&] { field.setText("XY"); })
        .step("read-only, type d",
              [&] {
                  field.setReadOnly(true);
                  pressKeys({'D', VK_END});
              })
        // The End key comes after the d: once it has moved the caret, the
        // d has been handled too.
        .step("read-only keys handled", {},
              [&] {
                  DWORD end = 0;
                  SendMessageW(field.handle(), EM_GETSEL, 0, LPARAM(&end));
                  return end == 2;
              })
        .step(
            "writable, one key",
            [&] {
                field.setReadOnly(false);
                pressKeys({'E'});
            },
            [&] { return edits >= 4; });
    window.running = [&](Window &w) { script.play(w.handle()); };
    window.run();

    ASSERT_TRUE(script.passed()) << script.failure();
    EXPECT_EQ(edits, 4);
    EXPECT_EQ(seen, (std::vector<std::string>{"A", "AB", "ABC", "XYE"}));
    EXPECT_TRUE(field.upperCase());
    EXPECT_FALSE(field.isReadOnly());
    EXPECT_EQ(field.maxLength(), 8);
}

TEST(EntryField, StopsAtItsMaximumLength) {
    Window window(entryWindow());
    EntryField &field = window.addEntryField(3, 10, 10, 100, 12);
    int edits = 0;
    field.edited = [&] { ++edits; };
    Script script;
    script
        .step(
            "focus", [&] { field.setFocus(); }, [&] { return GetFocus() == field.handle(); })
        // Home comes last: the caret back at 0 after three characters
        // means every key has been handled.
        .step(
            "type five keys and Home",
            [] {
                pressKeys({'1', '2', '3', '4', '5', VK_HOME});
            },
            [&] {
                DWORD start = 1;
                SendMessageW(field.handle(), EM_GETSEL, WPARAM(&start), 0);
                return edits >= 3 && start == 0;
            });
    window.running = [&](Window &w) { script.play(w.handle()); };
    window.run();

    ASSERT_TRUE(script.passed()) << script.failure();
    EXPECT_EQ(field.text(), "123");
    EXPECT_EQ(edits, 3);
}

}  // namespace
}  // namespace kvr::runtime::win32
