// Modal message boxes and the end of the program.
//
// A box has a caption, a standard icon, a set of buttons given as the sum of
// their values and a default button; it returns the value of the button
// pressed.  It ends only through one of its buttons; Escape presses Cancel
// where the box has one.  Texts are UTF-8.
//
// Tests answer boxes through setMessageBoxAnswerer() instead of racing the
// GUI with timers, and catch the end of the program through
// setProgramEndHandler().
#ifndef KVR_RUNTIME_MESSAGE_BOX_H
#define KVR_RUNTIME_MESSAGE_BOX_H

#include <functional>
#include <string>

namespace kvr::runtime {

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

// Shows the box modally (or hands it to the answerer) and returns the value
// of the button pressed.  Under a wait cursor the box shows the arrow.
int showMessageBox(const MessageBoxRequest &asked);

// The label a button carries ("OK", "&Yes", "&No", ... "Cancel", "&Help").
std::string messageButtonLabel(MessageButton button);

using MessageBoxAnswerer = std::function<int(const MessageBoxRequest &)>;
// Replaces the real box; pass an empty function to restore it.
void setMessageBoxAnswerer(MessageBoxAnswerer answerer);

// End of program: a box captioned "Halt" with the stop icon, the text and an
// OK button; when it is closed the program ends at once with exit code 0.
[[noreturn]] void endProgram(const std::string &text);

using ProgramEndHandler = std::function<void(const std::string &text)>;
// Runs instead of exiting after the "Halt" box (tests throw from it to unwind).
// If it returns, the program exits as usual.
void setProgramEndHandler(ProgramEndHandler handler);

}  // namespace kvr::runtime

#endif
