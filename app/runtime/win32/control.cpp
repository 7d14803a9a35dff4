#include "runtime/win32/control.h"

#include "runtime/win32/text.h"

namespace kvr::runtime::win32 {

std::string Control::text() const { return windowText(window_); }

void Control::setText(const std::string &text) { SetWindowTextW(window_, widen(text).c_str()); }

}  // namespace kvr::runtime::win32
