// Modal message boxes (MessageBoxW): a caption, a standard icon, a set of
// buttons given as the sum of their values and a default button; the box
// returns the value of the button pressed.  The values are the runtime's
// own (runtime/message_box.h), so an adapter passes them through.  Texts
// are UTF-8.
#ifndef KVR_RUNTIME_WIN32_MESSAGE_BOX_H
#define KVR_RUNTIME_WIN32_MESSAGE_BOX_H

#include <windows.h>

#include <string>

namespace kvr::runtime::win32 {

enum MessageButton : int {
    ButtonOk = 1,
    ButtonYes = 2,
    ButtonNo = 4,
    ButtonAbort = 8,
    ButtonRetry = 16,
    ButtonIgnore = 32,
    ButtonCancel = 64,
    ButtonHelp = 128,
};

enum class MessageIcon { None, Question, Exclamation, Stop, Information };

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
    int buttons = ButtonOk;
    int defaultButton = ButtonOk;
};

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
