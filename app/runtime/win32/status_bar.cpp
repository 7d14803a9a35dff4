#include "runtime/win32/status_bar.h"

#include "runtime/win32/text.h"

#include <commctrl.h>

namespace kvr::runtime::win32 {

StatusBar::StatusBar(HWND parent, HFONT font, int zones, int zoneWidth, bool sizeGrip)
    : bar_(CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | (sizeGrip ? SBARS_SIZEGRIP : 0), 0, 0, 0,
                           0, parent, nullptr, GetModuleHandleW(nullptr), nullptr)),
      zoneWidth_(zoneWidth), texts_(std::size_t(zones > 0 ? zones : 1)) {
    SendMessageW(bar_, WM_SETFONT, WPARAM(font), FALSE);
    layout();
}

int StatusBar::height() const {
    RECT rect{};
    GetWindowRect(bar_, &rect);
    return int(rect.bottom - rect.top);
}

void StatusBar::layout() {
    SendMessageW(bar_, WM_SIZE, 0, 0);
    RECT client{};
    GetClientRect(bar_, &client);
    // Right edges of the zones; the last one reaches the end of the bar.
    std::vector<int> edges(texts_.size());
    int edge = int(client.right);
    for (std::size_t zone = texts_.size(); zone-- > 0;) {
        edges[zone] = zone + 1 == texts_.size() ? -1 : edge;
        edge -= zoneWidth_;
    }
    SendMessageW(bar_, SB_SETPARTS, WPARAM(edges.size()), LPARAM(edges.data()));
}

void StatusBar::setText(const std::string &text, int zone) {
    if (zone < 0 || zone >= zoneCount()) return;
    texts_[std::size_t(zone)] = text;
    SendMessageW(bar_, SB_SETTEXTW, WPARAM(zone), LPARAM(widen(text).c_str()));
}

std::string StatusBar::text(int zone) const {
    return zone >= 0 && zone < zoneCount() ? texts_[std::size_t(zone)] : std::string();
}

std::string StatusBar::shownText(int zone) const {
    // In simple mode any zone in range reads the one text shown.
    const WPARAM part = hintShown_ ? 0 : WPARAM(zone);
    const LRESULT length = SendMessageW(bar_, SB_GETTEXTLENGTHW, part, 0);
    std::wstring text(std::size_t(LOWORD(length)) + 1, L'\0');
    SendMessageW(bar_, SB_GETTEXTW, part, LPARAM(text.data()));
    text.resize(std::size_t(LOWORD(length)));
    return narrow(text);
}

void StatusBar::showHint(const std::string &hint) {
    hintShown_ = true;
    SendMessageW(bar_, SB_SIMPLE, TRUE, 0);
    SendMessageW(bar_, SB_SETTEXTW, SB_SIMPLEID, LPARAM(widen(hint).c_str()));
}

void StatusBar::hideHint() {
    if (!hintShown_) return;
    hintShown_ = false;
    SendMessageW(bar_, SB_SIMPLE, FALSE, 0);
}

}  // namespace kvr::runtime::win32
