// The operator at the screen, on Qt: the real message box, the platform's
// file dialogs, an end of the program that exits at once with code 0, and
// the Qt toolkit.
#ifndef KVR_RUNTIME_QT_SCREEN_INTERACTION_H
#define KVR_RUNTIME_QT_SCREEN_INTERACTION_H

#include "runtime/qt/toolkit.h"
#include "runtime/user_interaction.h"

namespace kvr::runtime::qt {

class ScreenInteraction final : public UserInteraction {
public:
    ScreenInteraction() = default;
    ScreenInteraction(const ScreenInteraction &) = delete;
    ScreenInteraction &operator=(const ScreenInteraction &) = delete;

    int answerMessageBox(const MessageBoxRequest &request) override;
    std::string chooseOpenFile(const OpenFileRequest &request) override;
    std::string chooseSaveFile(const OpenFileRequest &request) override;
    // Exits at once with exit code 0.
    [[noreturn]] void endProgram(const std::string &text) override;
    // A window on the screen runs as it is: nothing to hand it to.
    void windowRunning(runtime::Window &window) override;
    Toolkit &toolkit() override { return toolkit_; }

private:
    Toolkit toolkit_;
};

}  // namespace kvr::runtime::qt

#endif
