#include "runtime/win32/entry_field.h"

namespace kvr::runtime::win32 {

EntryField::EntryField(HWND window, int maxLength) : Control(window) {
    SendMessageW(window, EM_SETLIMITTEXT, WPARAM(maxLength > 0 ? maxLength : 0x7FFFFFFE), 0);
}

void EntryField::setText(const std::string &text) {
    settingText_ = true;
    Control::setText(text);
    settingText_ = false;
    last_ = Control::text();
}

void EntryField::setReadOnly(bool readOnly) { SendMessageW(handle(), EM_SETREADONLY, readOnly, 0); }

bool EntryField::isReadOnly() const { return (GetWindowLongW(handle(), GWL_STYLE) & ES_READONLY) != 0; }

void EntryField::setUpperCase(bool on) {
    const LONG style = GetWindowLongW(handle(), GWL_STYLE);
    SetWindowLongW(handle(), GWL_STYLE, on ? style | ES_UPPERCASE : style & ~LONG(ES_UPPERCASE));
}

bool EntryField::upperCase() const { return (GetWindowLongW(handle(), GWL_STYLE) & ES_UPPERCASE) != 0; }

int EntryField::maxLength() const { return int(SendMessageW(handle(), EM_GETLIMITTEXT, 0, 0)); }

void EntryField::notified(int code) {
    if (code != EN_CHANGE || settingText_) return;
    std::string now = text();
    if (now == last_) return;
    last_ = std::move(now);
    if (edited) edited();
}

}  // namespace kvr::runtime::win32
