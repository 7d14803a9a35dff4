// A push button; the default button of a window is the one Enter presses
// when the focus is on no other button.
#ifndef KVR_RUNTIME_WIN32_BUTTON_H
#define KVR_RUNTIME_WIN32_BUTTON_H

#include "runtime/win32/control.h"

#include <functional>

namespace kvr::runtime::win32 {

class Button : public Control {
public:
    explicit Button(HWND window) : Control(window) {}

    // Pressed: pointer, Space, Enter, its access letter, or click().
    std::function<void()> clicked;
    void click() { SendMessageW(handle(), BM_CLICK, 0, 0); }

    void notified(int code) override {
        if (code == BN_CLICKED && clicked) clicked();
    }
};

}  // namespace kvr::runtime::win32

#endif
