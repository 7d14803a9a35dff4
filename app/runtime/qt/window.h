// The Qt window: a QMainWindow with the client area a widget of its own,
// controls placed on it in dialog units, and the window's own event loop
// (runtime/window.h says what happens when).  Windows written for the
// interface get one from the toolkit (toolkit.h); windows not yet written
// that way derive from it and use its Qt side directly.
#ifndef KVR_RUNTIME_QT_WINDOW_H
#define KVR_RUNTIME_QT_WINDOW_H

#include "runtime/qt/units.h"
#include "runtime/user_interaction.h"
#include "runtime/window.h"

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QEventLoop;
class QAbstractButton;
class QLabel;

namespace kvr::runtime::qt {

class Menus;

class Window : public QMainWindow, public runtime::Window {
    Q_OBJECT
public:
    // interaction: where the window's boxes and dialogs go, and what is
    // told when the window starts running.
    Window(const WindowDefinition &definition, UserInteraction &interaction, QWidget *parent = nullptr);
    ~Window() override;

    const std::string &name() const override { return name_; }
    UserInteraction &interaction() const override { return interaction_; }
    const DialogUnits &units() const override { return units_; }
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
    void run() override;
    bool isRunning() const override { return running_; }

    // The interface's side.
    runtime::Label &addLabel(const LabelDefinition &definition) override;
    runtime::Button &addButton(const ButtonDefinition &definition) override;
    runtime::EntryField &addEntryField(const EntryFieldDefinition &definition) override;
    runtime::NumberField &addNumberField(const NumberFieldDefinition &definition) override;
    runtime::GroupBox &addGroupBox(const GroupBoxDefinition &definition) override;
    runtime::Icon &addIcon(const IconDefinition &definition) override;
    void setStatus(const std::string &text, int zone = 0) override;
    std::string status(int zone = 0) const override;
    void setStatusTip(const std::string &text, int zone = 0) override;
    void restorePlace(const std::string &section, const std::string &file) override;
    void storePlace(const std::string &section, const std::string &file) override;
    void requestClose() override { close(); }
    void activate() override;
    void setDialogButtons(runtime::Button *enter, runtime::Button *escape) override;
    void keepAtLeastCurrentSize() override { setMinimumSize(size()); }
    void afterWaitingInput(std::function<void()> call) override;

    // Where the window tells what happens to it when it does not handle it
    // itself (a window made by the toolkit); null for none.
    void setEvents(WindowEvents *events) { events_ = events; }

protected:
    virtual void opened() {
        if (events_) events_->opened();
    }
    virtual void activated() {
        if (events_) events_->activated();
    }
    virtual bool closeRequested() { return events_ ? events_->closeRequested() : true; }
    virtual void closing() {
        if (events_) events_->closing();
    }

    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    // Enter presses the button that has the focus, as in a dialog.
    void keyPressEvent(QKeyEvent *event) override;
    void customEvent(QEvent *event) override;

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
    WindowEvents *events_ = nullptr;
    QAbstractButton *enterButton_ = nullptr;
    QAbstractButton *escapeButton_ = nullptr;
    std::vector<std::unique_ptr<Control>> controls_;
};

}  // namespace kvr::runtime::qt

#endif
