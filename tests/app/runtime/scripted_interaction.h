// Test support: the operator's side of the manager as a test plays it.
// Each part a test sets stands in for the screen; a part left empty is the
// screen's own (the real box, the platform's dialog, the exit), so that a
// test can drive the real box too.  Windows are made by the Qt toolkit and
// handed to the tests as the Qt windows they are.
#ifndef KVR_TESTS_SCRIPTED_INTERACTION_H
#define KVR_TESTS_SCRIPTED_INTERACTION_H

#include "runtime/file_dialog.h"
#include "runtime/message_box.h"
#include "runtime/qt/screen_interaction.h"
#include "runtime/qt/toolkit.h"
#include "runtime/qt/window.h"
#include "runtime/user_interaction.h"

#include <QString>

#include <functional>
#include <string>

namespace kvr::test_support {

class ScriptedInteraction : public runtime::UserInteraction {
public:
    ScriptedInteraction() = default;
    ScriptedInteraction(const ScriptedInteraction &) = delete;
    ScriptedInteraction &operator=(const ScriptedInteraction &) = delete;

    // Answers each box with the value of a button.
    std::function<int(const runtime::MessageBoxRequest &)> answerer;
    // Answers the open-file (save-file) dialog with a path, "" for cancelled.
    std::function<QString(const runtime::OpenFileRequest &)> openFileAnswerer;
    std::function<QString(const runtime::OpenFileRequest &)> saveFileAnswerer;
    // Runs instead of exiting after the "Halt" box (throw from it to
    // unwind); if it returns, the program exits as usual.
    std::function<void(const std::string &text)> programEndHandler;
    // Called with each window that starts running, as the first event of
    // the window's own event loop.
    std::function<void(runtime::qt::Window &)> windowRunHook;

    int answerMessageBox(const runtime::MessageBoxRequest &request) override {
        return answerer ? answerer(request) : screen_.answerMessageBox(request);
    }
    std::string chooseOpenFile(const runtime::OpenFileRequest &request) override {
        return openFileAnswerer ? openFileAnswerer(request).toStdString() : screen_.chooseOpenFile(request);
    }
    std::string chooseSaveFile(const runtime::OpenFileRequest &request) override {
        return saveFileAnswerer ? saveFileAnswerer(request).toStdString() : screen_.chooseSaveFile(request);
    }
    void endProgram(const std::string &text) override {
        if (programEndHandler) programEndHandler(text);
        screen_.endProgram(text);
    }
    void windowRunning(runtime::Window &window) override {
        if (windowRunHook) windowRunHook(runtime::qt::qtWindow(window));
    }
    runtime::Toolkit &toolkit() override { return screen_.toolkit(); }

private:
    runtime::qt::ScreenInteraction screen_;
};

}  // namespace kvr::test_support

#endif
