// A list that shows one page of rows and leaves paging to its owner.
//
// The owner sets the rows (never more than fit), marks the current one,
// and says where the page stands: "shown rows of count, the first at
// position".  The vertical scroll bar beside the rows is the owner's: it
// shows that position and is shown only while count exceeds the rows
// shown; its arrows, its track, the thumb and the keys that leave the page
// (Up on the first row, Down on the last, Page Up, Page Down, Ctrl+Home,
// Ctrl+End) and the wheel ask the owner instead of moving anything.
//
// Rows are text with cells separated by tabs, aligned on tab stops given
// in dialog units.
#ifndef KVR_RUNTIME_WIN32_PAGE_LIST_H
#define KVR_RUNTIME_WIN32_PAGE_LIST_H

#include "runtime/win32/control.h"
#include "runtime/win32/dialog_units.h"

#include <functional>
#include <string>
#include <vector>

namespace kvr::runtime::win32 {

class PageList : public Control {
public:
    enum class Scroll { LineUp, LineDown, PageUp, PageDown, Top, Bottom };

    // The frame: a child of parent at pixels, holding the rows and the bar.
    PageList(HWND parent, int id, const RECT &pixels, HFONT font, const std::vector<int> &tabStops);
    ~PageList() override;

    void setRows(const std::vector<std::string> &rows);
    int rowCount() const;
    std::string rowText(int row) const;  // from 1
    // 1-based; 0 marks no row.
    void setCurrentRow(int row);
    int currentRow() const;
    // How many rows fit (at least 1).
    int visibleRowCount() const;

    // shown rows of count, the first at position (0 to count - shown).
    void setPage(int shown, int position, int count);
    bool scrollBarShown() const;
    int scrollPosition() const;

    HWND rowsHandle() const { return rows_; }
    HWND scrollBarHandle() const { return bar_; }

    std::function<void(Scroll)> scrollRequested;
    // The thumb was dropped at a position (on the scale of setPage).
    std::function<void(int position)> thumbDropped;
    // The operator picked a row (1-based): pointer or arrow keys.
    std::function<void(int row)> rowChosen;
    // Double-click or Enter on a row.
    std::function<void()> rowActivated;

private:
    static LRESULT CALLBACK frameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK rowsProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR self);
    LRESULT frameMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void ask(Scroll how);
    void scrolled(int code);
    LRESULT keyToItem(int key);
    void layout();

    HWND rows_ = nullptr;
    HWND bar_ = nullptr;
    int wheel_ = 0;
    bool barShown_ = false;
};

}  // namespace kvr::runtime::win32

#endif
