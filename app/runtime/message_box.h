// Modal message boxes and the end of the program.
//
// A box has a caption, a standard icon, a set of buttons given as the sum of
// their values and a default button; it returns the value of the button
// pressed.  It ends only through one of its buttons; Escape presses Cancel
// where the box has one.  Texts are UTF-8.
//
// Boxes are put to the operator through the program's UserInteraction
// (user_interaction.h), which tests replace to answer them and to catch the
// end of the program.
#ifndef KVR_RUNTIME_MESSAGE_BOX_H
#define KVR_RUNTIME_MESSAGE_BOX_H

#include "runtime/user_interaction.h"

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

// Puts the box to the operator through interaction and returns the value of
// the button pressed.  A box without any known button gets OK; a default
// that is not among the buttons falls to the first one.
int showMessageBox(UserInteraction &interaction, const MessageBoxRequest &asked);

// The label a button carries ("OK", "&Yes", "&No", ... "Cancel", "&Help").
std::string messageButtonLabel(MessageButton button);

// End of program: a box captioned "Halt" with the stop icon, the text and an
// OK button; when it is closed interaction ends the program (on the screen:
// at once, with exit code 0).
[[noreturn]] void endProgram(UserInteraction &interaction, const std::string &text);

}  // namespace kvr::runtime

#endif
