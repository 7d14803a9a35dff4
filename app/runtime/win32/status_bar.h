// The status bar of a window (comctl32): zones left to right, the first
// taking the spare width, the others a fixed width each.  A zone keeps the
// last text set until replaced; a hint (a highlighted menu item's) covers
// the whole bar while shown and uncovers the zones when hidden.
#ifndef KVR_RUNTIME_WIN32_STATUS_BAR_H
#define KVR_RUNTIME_WIN32_STATUS_BAR_H

#include <windows.h>

#include <string>
#include <vector>

namespace kvr::runtime::win32 {

class StatusBar {
public:
    // zoneWidth: pixels of each zone after the first; font: the window's.
    StatusBar(HWND parent, HFONT font, int zones, int zoneWidth, bool sizeGrip);
    StatusBar(const StatusBar &) = delete;
    StatusBar &operator=(const StatusBar &) = delete;

    HWND handle() const { return bar_; }
    int zoneCount() const { return int(texts_.size()); }
    int height() const;

    // Follows the parent's new size (WM_SIZE).
    void layout();

    void setText(const std::string &text, int zone = 0);
    std::string text(int zone = 0) const;
    // The text the bar shows in a zone now, read back from the control.
    std::string shownText(int zone = 0) const;

    void showHint(const std::string &hint);
    void hideHint();
    bool hintShown() const { return hintShown_; }

private:
    HWND bar_;
    int zoneWidth_;
    std::vector<std::string> texts_;
    bool hintShown_ = false;
};

}  // namespace kvr::runtime::win32

#endif
