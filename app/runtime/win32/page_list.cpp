#include "runtime/win32/page_list.h"

#include "runtime/win32/handle_casts.h"
#include "runtime/win32/text.h"

#include <commctrl.h>

namespace kvr::runtime::win32 {
namespace {

constexpr wchar_t kFrameClass[] = L"KvrPageList";
constexpr int kRowsId = 1;
constexpr int kBarId = 2;

HWND makeFrame(HWND parent, int id, const RECT &pixels) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW frameClass{};
    if (!GetClassInfoExW(instance, kFrameClass, &frameClass)) {
        frameClass.cbSize = sizeof frameClass;
        frameClass.lpfnWndProc = DefWindowProcW;
        frameClass.hInstance = instance;
        frameClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        frameClass.hbrBackground = systemColorBrush(COLOR_BTNFACE);
        frameClass.lpszClassName = kFrameClass;
        RegisterClassExW(&frameClass);
    }
    return CreateWindowExW(WS_EX_CONTROLPARENT, kFrameClass, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, int(pixels.left),
                           int(pixels.top), int(pixels.right - pixels.left), int(pixels.bottom - pixels.top), parent,
                           controlIdAsMenu(id), instance, nullptr);
}

}  // namespace

PageList::PageList(HWND parent, int id, const RECT &pixels, HFONT font, const std::vector<int> &tabStops)
    : Control(makeFrame(parent, id, pixels)) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    rows_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                                LBS_WANTKEYBOARDINPUT | LBS_USETABSTOPS,
                            0, 0, 0, 0, handle(), controlIdAsMenu(kRowsId), instance, nullptr);
    bar_ = CreateWindowExW(0, L"SCROLLBAR", L"", WS_CHILD | SBS_VERT, 0, 0, 0, 0, handle(), controlIdAsMenu(kBarId),
                           instance, nullptr);
    SendMessageW(rows_, WM_SETFONT, WPARAM(font), FALSE);
    if (!tabStops.empty()) {
        std::vector<INT> stops(tabStops.begin(), tabStops.end());
        SendMessageW(rows_, LB_SETTABSTOPS, WPARAM(stops.size()), LPARAM(stops.data()));
    }
    SetWindowLongPtrW(handle(), GWLP_USERDATA, LONG_PTR(this));
    SetWindowLongPtrW(handle(), GWLP_WNDPROC, LONG_PTR(&PageList::frameProcedure));
    SetWindowSubclass(rows_, &PageList::rowsProcedure, 1, DWORD_PTR(this));
    layout();
}

PageList::~PageList() {
    RemoveWindowSubclass(rows_, &PageList::rowsProcedure, 1);
    SetWindowLongPtrW(handle(), GWLP_WNDPROC, LONG_PTR(&DefWindowProcW));
    SetWindowLongPtrW(handle(), GWLP_USERDATA, 0);
}

void PageList::layout() {
    RECT frame{};
    GetClientRect(handle(), &frame);
    const int barWidth = scrollBarShown() ? GetSystemMetrics(SM_CXVSCROLL) : 0;
    MoveWindow(rows_, 0, 0, int(frame.right) - barWidth, int(frame.bottom), TRUE);
    MoveWindow(bar_, int(frame.right) - barWidth, 0, barWidth, int(frame.bottom), TRUE);
}

void PageList::setRows(const std::vector<std::string> &rows) {
    const int current = currentRow();
    SendMessageW(rows_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(rows_, LB_RESETCONTENT, 0, 0);
    for (const std::string &row : rows) SendMessageW(rows_, LB_ADDSTRING, 0, LPARAM(widen(row).c_str()));
    SendMessageW(rows_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(rows_, nullptr, TRUE);
    if (current > 0 && current <= int(rows.size())) setCurrentRow(current);
}

int PageList::rowCount() const { return int(SendMessageW(rows_, LB_GETCOUNT, 0, 0)); }

std::string PageList::rowText(int row) const {
    const LRESULT length = SendMessageW(rows_, LB_GETTEXTLEN, WPARAM(row - 1), 0);
    if (row < 1 || length == LB_ERR) return {};
    std::wstring text(std::size_t(length) + 1, L'\0');
    SendMessageW(rows_, LB_GETTEXT, WPARAM(row - 1), LPARAM(text.data()));
    text.resize(std::size_t(length));
    return narrow(text);
}

void PageList::setCurrentRow(int row) { SendMessageW(rows_, LB_SETCURSEL, WPARAM(row - 1), 0); }

int PageList::currentRow() const {
    const LRESULT index = SendMessageW(rows_, LB_GETCURSEL, 0, 0);
    return index == LB_ERR ? 0 : int(index) + 1;
}

int PageList::visibleRowCount() const {
    RECT client{};
    GetClientRect(rows_, &client);
    const int height = int(SendMessageW(rows_, LB_GETITEMHEIGHT, 0, 0));
    const int rows = height > 0 ? int(client.bottom) / height : 1;
    return rows > 0 ? rows : 1;
}

void PageList::setPage(int shown, int position, int count) {
    const bool show = count > shown && shown > 0;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = count > 0 ? count - 1 : 0;
    info.nPage = UINT(shown > 0 ? shown : 0);
    info.nPos = position;
    SetScrollInfo(bar_, SB_CTL, &info, TRUE);
    ShowWindow(bar_, show ? SW_SHOWNA : SW_HIDE);
    if (show != barShown_) {
        barShown_ = show;
        layout();
    }
}

bool PageList::scrollBarShown() const { return barShown_; }

int PageList::scrollPosition() const {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    GetScrollInfo(bar_, SB_CTL, &info);
    return info.nPos;
}

void PageList::ask(Scroll how) {
    if (scrollRequested) scrollRequested(how);
}

LRESULT CALLBACK PageList::frameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *self = pointerFrom<PageList>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self ? self->frameMessage(message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

void PageList::scrolled(int code) {
    switch (code) {
    case SB_LINEUP: ask(Scroll::LineUp); break;
    case SB_LINEDOWN: ask(Scroll::LineDown); break;
    case SB_PAGEUP: ask(Scroll::PageUp); break;
    case SB_PAGEDOWN: ask(Scroll::PageDown); break;
    case SB_TOP: ask(Scroll::Top); break;
    case SB_BOTTOM: ask(Scroll::Bottom); break;
    case SB_THUMBPOSITION: {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_TRACKPOS;
        GetScrollInfo(bar_, SB_CTL, &info);
        if (thumbDropped) thumbDropped(info.nTrackPos);
        break;
    }
    default: break;
    }
}

// -1: the list box moves as usual; -2: handled here.
LRESULT PageList::keyToItem(int key) {
    const int current = currentRow();
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    switch (key) {
    case VK_UP:
        if (current > 1) return -1;
        ask(Scroll::LineUp);
        return -2;
    case VK_DOWN:
        if (current < rowCount()) return -1;
        ask(Scroll::LineDown);
        return -2;
    case VK_PRIOR: ask(Scroll::PageUp); return -2;
    case VK_NEXT: ask(Scroll::PageDown); return -2;
    case VK_HOME:
        if (!ctrl) return -1;
        ask(Scroll::Top);
        return -2;
    case VK_END:
        if (!ctrl) return -1;
        ask(Scroll::Bottom);
        return -2;
    case VK_RETURN:
        if (rowActivated) rowActivated();
        return -2;
    default: return -1;
    }
}

LRESULT PageList::frameMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE: layout(); return 0;
    case WM_SETFOCUS: SetFocus(rows_); return 0;
    case WM_VSCROLL: scrolled(LOWORD(wParam)); return 0;
    case WM_VKEYTOITEM: return keyToItem(LOWORD(wParam));
    case WM_COMMAND:
        if (LOWORD(wParam) == kRowsId && HIWORD(wParam) == LBN_SELCHANGE && rowChosen) rowChosen(currentRow());
        if (LOWORD(wParam) == kRowsId && HIWORD(wParam) == LBN_DBLCLK && rowActivated) rowActivated();
        return 0;
    default: return DefWindowProcW(handle(), message, wParam, lParam);
    }
}

LRESULT CALLBACK PageList::rowsProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self) {
    if (message == WM_MOUSEWHEEL) {
        auto *list = pointerFrom<PageList>(LONG_PTR(self));
        list->wheel_ += GET_WHEEL_DELTA_WPARAM(wParam);
        for (; list->wheel_ >= WHEEL_DELTA; list->wheel_ -= WHEEL_DELTA) list->ask(Scroll::LineUp);
        for (; list->wheel_ <= -WHEEL_DELTA; list->wheel_ += WHEEL_DELTA) list->ask(Scroll::LineDown);
        return 0;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace kvr::runtime::win32
