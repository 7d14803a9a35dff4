// Modal message boxes (MessageBoxW): a caption, a standard icon, a set of
// buttons given as the sum of their values and a default button; the box
// returns the value of the button pressed.  The request is the runtime's
// own (runtime/message_box.h), so an adapter passes it through.  Texts are
// UTF-8.
#ifndef KVR_RUNTIME_WIN32_MESSAGE_BOX_H
#define KVR_RUNTIME_WIN32_MESSAGE_BOX_H

#include "runtime/message_box.h"

#include <windows.h>

#include <string>

namespace kvr::runtime::win32 {

// The buttons, icons and the request are the runtime's own.
using enum runtime::MessageButton;
using runtime::MessageBoxRequest;
using runtime::MessageIcon;

// The MB_ style of a request: the smallest of the system's button sets
// that holds every button asked (OK when none does), Help added when asked,
// the default button by its place in the set (the first when it is not in
// the set), the icon, and MB_APPLMODAL.
UINT messageBoxStyle(const MessageBoxRequest &request);
// The button value of a MessageBox result (IDOK ...); 0 for others.
int messageButtonOf(int result);

// Shows the box, owned by owner (disabled meanwhile; may be null), and
// returns the value of the button pressed.
int runMessageBox(HWND owner, const MessageBoxRequest &request);

}  // namespace kvr::runtime::win32

#endif
