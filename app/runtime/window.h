// Windows of the manager, written once for every toolkit: each defined by a
// name (MAIN$WINDOW, INFOLECTOR$WINDOW ...), a title, a font and a client
// size in dialog units, with an optional menu bar and status bar, made by
// the toolkit (toolkit.h) and given its controls (controls.h) by name and
// place in dialog units.  Texts are UTF-8.
//
// run() shows the window and runs its own event loop, nested in the
// caller's, until the window closes; the windows below it are blocked
// meanwhile (application-modal) and the caller carries on when run()
// returns.  Everything happens on the one user-interface thread.
//
// Life of a window during run(), told to its WindowEvents:
//   opened()   right after it is shown, before its first event (restore the
//              window place, identify the reader, set the first focus);
//   activated() each time it regains the focus (redraw);
//   closeRequested() when the operator or the program asks it to close;
//              returning false keeps it open;
//   closing()  just before it disappears, still in its last state
//              (store the window place, release files).
#ifndef KVR_RUNTIME_WINDOW_H
#define KVR_RUNTIME_WINDOW_H

#include "runtime/controls.h"
#include "runtime/dialog_units.h"
#include "runtime/user_interaction.h"

#include <functional>
#include <string>

namespace kvr::runtime {

struct WindowDefinition {
    std::string name{};   // "MAIN$WINDOW"
    std::string title{};  // "VEXA KVR Manager V3.01"
    std::string fontFace = "MS Sans Serif";
    int fontPoints = 8;
    Size clientSize{};  // dialog units
    bool resizable = false;
    bool menuBar = false;
    bool statusBar = false;
    int statusZones = 1;  // zones of the status bar, left to right
};

class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    virtual void opened() {}
    virtual void activated() {}
    virtual bool closeRequested() { return true; }
    virtual void closing() {}

protected:
    WindowEvents() = default;
    WindowEvents(const WindowEvents &) = default;
    WindowEvents &operator=(const WindowEvents &) = default;
};

class Window {
public:
    virtual ~Window() = default;
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    virtual const std::string &name() const = 0;
    virtual UserInteraction &interaction() const = 0;
    // The units of the window's font.
    virtual const DialogUnits &units() const = 0;

    // Controls of the client area, in their tab order; the window owns them.
    virtual Label &addLabel(const LabelDefinition &definition) = 0;
    virtual Button &addButton(const ButtonDefinition &definition) = 0;
    virtual EntryField &addEntryField(const EntryFieldDefinition &definition) = 0;
    virtual NumberField &addNumberField(const NumberFieldDefinition &definition) = 0;
    virtual GroupBox &addGroupBox(const GroupBoxDefinition &definition) = 0;
    virtual Icon &addIcon(const IconDefinition &definition) = 0;

    // The zones of the status bar (0 the first, which takes the spare
    // width): the last text set stays until replaced.
    virtual void setStatus(const std::string &text, int zone = 0) = 0;
    virtual std::string status(int zone = 0) const = 0;
    // The tip shown over a zone of the status bar (none when empty).
    virtual void setStatusTip(const std::string &text, int zone = 0) = 0;

    // The window's place kept in a section of a profile file (profile.h):
    // restored where it was, or where the toolkit would put it.
    virtual void restorePlace(const std::string &section, const std::string &file) = 0;
    virtual void storePlace(const std::string &section, const std::string &file) = 0;

    // Shows the window and handles its events until it closes; the first
    // event of its own loop tells the interaction that it runs.
    virtual void run() = 0;
    virtual bool isRunning() const = 0;
    // Asks the window to close, as the operator would (closeRequested()).
    virtual void requestClose() = 0;
    // Brings the window to the front with the keyboard.
    virtual void activate() = 0;
    // As in a dialog: Enter presses enter (unless a button has the focus,
    // which Enter presses), Escape presses escape.  Null for none.
    virtual void setDialogButtons(Button *enter, Button *escape) = 0;
    // The operator can make a resizable window no smaller than it is now.
    virtual void keepAtLeastCurrentSize() = 0;
    // Runs call once the input already waiting has been handled (key
    // presses typed ahead), before anything the operator does next.
    virtual void afterWaitingInput(std::function<void()> call) = 0;

protected:
    Window() = default;
};

}  // namespace kvr::runtime

#endif
