// Everything the manager asks of the operator at the screen and of the
// session it runs in: message boxes, the open- and save-file dialogs, the
// end of the program, each window's own event loop as it starts, and the
// toolkit that makes the windows.
//
// The program makes one interaction in its entry (the Qt one:
// runtime/qt/screen_interaction.h) and hands it by reference to every window
// and every part that puts a question to the operator; tests hand in their
// own, which answers the boxes and dialogs and drives the windows from inside
// their loops instead of racing the screen with timers.
//
// Every text of this interface and of the windows' (window.h, controls.h)
// is UTF-8; records keep Windows-1252 (western_text.h converts).
#ifndef KVR_RUNTIME_USER_INTERACTION_H
#define KVR_RUNTIME_USER_INTERACTION_H

#include <string>

namespace kvr::runtime {

struct MessageBoxRequest;
struct OpenFileRequest;
class Toolkit;
class Window;

class UserInteraction {
public:
    virtual ~UserInteraction() = default;

    // Shows the box modally and returns the value of the button pressed.
    // The request has a button to close it and a default among its buttons
    // (showMessageBox, message_box.h, sees to that).
    virtual int answerMessageBox(const MessageBoxRequest &request) = 0;
    // The path chosen in the open-file (save-file) dialog, or an empty text
    // when the operator cancelled (file_dialog.h).
    virtual std::string chooseOpenFile(const OpenFileRequest &request) = 0;
    virtual std::string chooseSaveFile(const OpenFileRequest &request) = 0;
    // Ends the program once its "Halt" box is closed (endProgram,
    // message_box.h, shows it first).  Tests throw from here to unwind;
    // should it return, the program exits at once with exit code 0.
    virtual void endProgram(const std::string &text) = 0;
    // Called with each window that starts running, as the first event of
    // the window's own event loop (window.h).
    virtual void windowRunning(Window &window) = 0;
    // What makes the windows and their controls.
    virtual Toolkit &toolkit() = 0;

protected:
    UserInteraction() = default;
    UserInteraction(const UserInteraction &) = default;
    UserInteraction &operator=(const UserInteraction &) = default;
};

}  // namespace kvr::runtime

#endif
