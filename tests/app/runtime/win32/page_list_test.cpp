// A paged list driven by an owner that holds many more rows than it shows.
#include "runtime/win32/window.h"
#include "script.h"

#include <gtest/gtest.h>

namespace kvr::runtime::win32 {
namespace {

using test::clickAt;
using test::pressChord;
using test::pressKeys;
using test::Script;

// The owner: rows "fila 1" to "fila N", a page of them shown at a time.
struct Owner {
    Owner(PageList &shownIn, int rows) : list(shownIn), count(rows) {
        list.scrollRequested = [this](PageList::Scroll how) { scroll(how); };
        list.thumbDropped = [this](int position) { show(position); };
    }
    void show(int position) {
        const int shown = list.visibleRowCount();
        first = std::max(0, std::min(position, count - shown));
        std::vector<std::string> rows;
        for (int row = first; row < first + shown && row < count; ++row)
            rows.push_back("fila " + std::to_string(row + 1) + "\tdatos");
        list.setRows(rows);
        list.setPage(shown, first, count);
    }
    void scroll(PageList::Scroll how) {
        asked.push_back(how);
        const int shown = list.visibleRowCount();
        switch (how) {
        case PageList::Scroll::LineUp: show(first - 1); break;
        case PageList::Scroll::LineDown: show(first + 1); break;
        case PageList::Scroll::PageUp: show(first - shown); break;
        case PageList::Scroll::PageDown: show(first + shown); break;
        case PageList::Scroll::Top: show(0); break;
        case PageList::Scroll::Bottom: show(count); break;
        }
    }
    PageList &list;
    int count;
    int first = 0;
    std::vector<PageList::Scroll> asked;
};

TEST(PageList, TheKeysAndTheScrollBarAskTheOwnerWhoMovesThePage) {
    WindowDefinition definition;
    definition.name = "LIST$TEST";
    definition.title = "Lista";
    definition.clientWidth = 160;
    definition.clientHeight = 100;
    Window window(definition);
    PageList &list = window.addPageList(5, 5, 150, 90, {40});
    Owner owner(list, 100);
    owner.show(0);
    const int shown = list.visibleRowCount();
    ASSERT_GT(shown, 2);
    ASSERT_LT(shown, 50);

    using S = PageList::Scroll;
    auto at = [&](int first, std::size_t asks) {
        return [&owner, &list, first, asks] {
            return owner.asked.size() >= asks && list.scrollPosition() == first &&
                   list.rowText(1) == "fila " + std::to_string(first + 1) + "\tdatos";
        };
    };
    Script script;
    script
        .step(
            "focus", [&] { list.setFocus(); }, [&] { return GetFocus() == list.rowsHandle(); })
        .step(
            "Page Down", [] { pressKeys({VK_NEXT}); }, at(shown, 1))
        .step(
            "Down on the last row",
            [&] {
                list.setCurrentRow(shown);
                pressKeys({VK_DOWN});
            },
            at(shown + 1, 2))
        .step(
            "Up inside the page moves the row only", [&] { pressKeys({VK_UP}); },
            [&] { return list.currentRow() == shown - 1; })
        .step(
            "Ctrl+End", [] { pressChord({VK_CONTROL}, VK_END); }, at(100 - shown, 3))
        .step(
            "the bar's up arrow clicked",
            [&] {
                RECT bar{};
                GetWindowRect(list.scrollBarHandle(), &bar);
                clickAt({(bar.left + bar.right) / 2, bar.top + GetSystemMetrics(SM_CYVSCROLL) / 2});
            },
            at(100 - shown - 1, 4))
        .step(
            "Ctrl+Home", [] { pressChord({VK_CONTROL}, VK_HOME); }, at(0, 5));
    window.running = [&](Window &w) { script.play(w.handle()); };
    window.run();

    EXPECT_TRUE(script.passed()) << script.failure() << " at " << list.scrollPosition();
    EXPECT_EQ(owner.asked, (std::vector<S>{S::PageDown, S::LineDown, S::Bottom, S::LineUp, S::Top}));
    EXPECT_TRUE(list.scrollBarShown());
    EXPECT_EQ(list.rowCount(), shown);
    // All rows fit: no bar.
    list.setPage(shown, 0, shown);
    EXPECT_FALSE(list.scrollBarShown());
}

}  // namespace
}  // namespace kvr::runtime::win32
