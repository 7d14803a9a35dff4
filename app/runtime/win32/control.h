// A control of a window's client area: a child window with an id of its
// own, which the window hands the notifications it gets for that id.
#ifndef KVR_RUNTIME_WIN32_CONTROL_H
#define KVR_RUNTIME_WIN32_CONTROL_H

#include <windows.h>

#include <string>

namespace kvr::runtime::win32 {

class Control {
public:
    virtual ~Control() = default;
    Control(const Control &) = delete;
    Control &operator=(const Control &) = delete;

    HWND handle() const { return window_; }
    int id() const { return GetDlgCtrlID(window_); }

    std::string text() const;
    void setText(const std::string &text);
    void setEnabled(bool enabled) { EnableWindow(window_, enabled); }
    bool isEnabled() const { return IsWindowEnabled(window_) != FALSE; }
    void setFocus() { SetFocus(window_); }

    // A notification code of WM_COMMAND from the control (EN_CHANGE,
    // BN_CLICKED ...).
    virtual void notified(int code) { (void)code; }

protected:
    explicit Control(HWND window) : window_(window) {}

private:
    HWND window_;
};

// A static text; "&" marks the access letter of the control after it.
class Label : public Control {
public:
    explicit Label(HWND window) : Control(window) {}
};

// A frame with a caption around a group of controls.
class GroupBox : public Control {
public:
    explicit GroupBox(HWND window) : Control(window) {}
};

}  // namespace kvr::runtime::win32

#endif
