// Windows of the manager: each defined by a name (MAIN$WINDOW,
// INFOLECTOR$WINDOW ...), a title, a font and a client size in dialog units,
// with an optional menu bar and status bar.
//
// run() shows the window and runs its own event loop, nested in the
// caller's, until the window closes; the windows below it are blocked
// meanwhile (application-modal) and the caller carries on when run()
// returns.  Everything happens on the one user-interface thread.
//
// Life of a window during run():
//   opened()   right after it is shown, before its first event (restore the
//              window place, identify the reader, set the first focus);
//   activated() each time it regains the focus (redraw);
//   closeRequested() when the operator or the program asks it to close;
//              returning false keeps it open;
//   closing()  just before it disappears, still in its last state
//              (store the window place, release files).
#ifndef KVR_RUNTIME_WINDOW_H
#define KVR_RUNTIME_WINDOW_H

#include "runtime/dialog_units.h"
#include "runtime/user_interaction.h"

#include <QMainWindow>
#include <QString>

#include <string>
#include <vector>

class QEventLoop;
class QLabel;

namespace kvr::runtime {

class Menus;

struct WindowDefinition {
    std::string name;  // "MAIN$WINDOW"
    QString title;     // "VEXA KVR Manager V3.01"
    std::string fontFace = "MS Sans Serif";
    int fontPoints = 8;
    QSize clientSize;  // dialog units
    bool resizable = false;
    bool menuBar = false;
    bool statusBar = false;
    int statusZones = 1;  // zones of the status bar, left to right
};

class Window : public QMainWindow {
    Q_OBJECT
public:
    // interaction: where the window's boxes and dialogs go, and what is
    // told when the window starts running.
    Window(const WindowDefinition &definition, UserInteraction &interaction, QWidget *parent = nullptr);
    ~Window() override;

    const std::string &name() const { return name_; }
    UserInteraction &interaction() const { return interaction_; }
    const DialogUnits &units() const { return units_; }
    bool isResizable() const { return resizable_; }

    // The client area; controls are its children, placed with place().
    QWidget *client() const { return client_; }
    // Places a control of the client area in dialog units.
    void place(QWidget *control, int x, int y, int w, int h) const;
    void place(QWidget *control, int x, int y) const;

    // The menus of the bar (created with the window when the definition asks
    // for a menu bar; null otherwise).
    Menus *menus() const { return menus_; }

    // The zones of the status bar (0 the first, which takes the spare width):
    // the last text set stays until replaced; hints of highlighted menu items
    // cover the bar only while shown.
    void setStatusText(const QString &text, int zone = 0);
    // The tip shown over a zone of the status bar (none when empty).
    void setStatusToolTip(const QString &text, int zone = 0);
    QString statusText(int zone = 0) const;

    // Shows the window and handles its events until it closes; the first
    // event of its own loop tells the interaction that it runs.
    void run();
    bool isRunning() const { return running_; }

protected:
    virtual void opened() {}
    virtual void activated() {}
    virtual bool closeRequested() { return true; }
    virtual void closing() {}

    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    // Enter presses the button that has the focus, as in a dialog.
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::string name_;
    UserInteraction &interaction_;
    DialogUnits units_;
    bool resizable_;
    QWidget *client_;
    std::vector<QLabel *> statusZones_;
    Menus *menus_ = nullptr;
    QEventLoop *loop_ = nullptr;
    bool running_ = false;
    bool closed_ = false;
};

}  // namespace kvr::runtime

#endif
