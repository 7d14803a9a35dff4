// Windows of the manager on Win32: each defined by a name (MAIN$WINDOW,
// INFOLECTOR$WINDOW ...; the name of its window class), a title, a font and
// a client size in dialog units of that font, with an optional menu bar and
// status bar.  Controls are placed in the client area in dialog units.
//
// run() shows the window and pumps messages in a loop of its own, nested
// in the caller's, until the window closes; the other windows of the
// thread are disabled meanwhile (application-modal) and enabled again, the
// one it was opened from active, before run() returns.  Keys go through
// the menus' accelerators first, then the dialog keys (Tab between
// controls, Enter for the default button, access letters).
//
// Life of a window during run():
//   opened()   right after it is shown, before its first message;
//   running    (a callback) as the first message of its own loop, which
//              tests use to drive the window from inside;
//   activated() each time it regains the focus;
//   closeRequested() when the operator or the program asks it to close;
//              returning false keeps it open;
//   closing()  just before it disappears, still in its last state.
#ifndef KVR_RUNTIME_WIN32_WINDOW_H
#define KVR_RUNTIME_WIN32_WINDOW_H

#include "runtime/win32/button.h"
#include "runtime/win32/control.h"
#include "runtime/win32/dialog_units.h"
#include "runtime/win32/entry_field.h"
#include "runtime/win32/font.h"
#include "runtime/win32/menus.h"
#include "runtime/win32/page_list.h"
#include "runtime/win32/status_bar.h"

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kvr::runtime::win32 {

struct WindowDefinition {
    std::string name;   // "MAIN$WINDOW"
    std::string title;  // UTF-8
    std::string fontFace = "MS Sans Serif";
    int fontPoints = 8;
    int clientWidth = 0;  // dialog units
    int clientHeight = 0;
    bool resizable = false;
    bool menuBar = false;
    bool statusBar = false;
    int statusZones = 1;       // left to right; the first takes the spare width
    int statusZoneWidth = 60;  // dialog units, each zone after the first
};

class Window {
public:
    // The window is created hidden; owner (may be null) stays below it.
    explicit Window(const WindowDefinition &definition, HWND owner = nullptr);
    virtual ~Window();
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    HWND handle() const { return window_; }
    const std::string &name() const { return name_; }
    const DialogUnits &units() const { return units_; }
    HFONT font() const { return font_.handle(); }

    // Controls of the client area, placed in dialog units; the window owns
    // them.  Tab visits them in the order they were added.
    Label &addLabel(const std::string &text, int x, int y, int w, int h);
    GroupBox &addGroupBox(const std::string &text, int x, int y, int w, int h);
    EntryField &addEntryField(int maxLength, int x, int y, int w, int h, bool upperCase = false);
    // The default button is the one Enter presses.
    Button &addButton(const std::string &text, int x, int y, int w, int h, bool isDefault = false);
    // tabStops: where the cells of a row start, in dialog units.
    PageList &addPageList(int x, int y, int w, int h, const std::vector<int> &tabStops = {});

    // The menus of the bar (null without a menu bar) and the status bar (null
    // without one).
    Menus *menus() const { return menus_.get(); }
    StatusBar *statusBar() const { return statusBar_.get(); }
    void setStatusText(const std::string &text, int zone = 0);
    std::string statusText(int zone = 0) const;

    // Sizes the window so that the client area above the status bar is the
    // defined size (run() does it before showing the window).
    void fitClientSize();
    // The client area above the status bar, in pixels.
    RECT controlArea() const;

    void run();
    bool isRunning() const { return running_; }
    // Asks the window to close, as the close box does.
    void close() { PostMessageW(window_, WM_CLOSE, 0, 0); }

    std::function<void(Window &)> running;

protected:
    virtual void opened() {}
    virtual void activated() {}
    virtual bool closeRequested() { return true; }
    virtual void closing() {}

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT message(UINT message, WPARAM wParam, LPARAM lParam);
    HWND createControl(const wchar_t *className, const std::string &text, DWORD style, int x, int y, int w, int h,
                       int id);
    template <typename T>
    T &keep(std::unique_ptr<T> control);
    void pump();

    std::string name_;
    Font font_;
    DialogUnits units_;
    int clientWidth_;
    int clientHeight_;
    HWND window_ = nullptr;
    std::unique_ptr<Menus> menus_;
    std::unique_ptr<StatusBar> statusBar_;
    std::vector<std::unique_ptr<Control>> controls_;
    std::map<int, Control *> byId_;
    int nextId_ = 1000;
    int defaultButton_ = 0;
    bool running_ = false;
    bool closed_ = false;
};

}  // namespace kvr::runtime::win32

#endif
