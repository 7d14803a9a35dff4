// The operator at the screen: the real message box, the platform's file
// dialogs, and an end of the program that exits at once with code 0.
#ifndef KVR_RUNTIME_SCREEN_INTERACTION_H
#define KVR_RUNTIME_SCREEN_INTERACTION_H

#include "runtime/user_interaction.h"

namespace kvr::runtime {

class ScreenInteraction final : public UserInteraction {
public:
    ScreenInteraction() = default;
    ScreenInteraction(const ScreenInteraction &) = delete;
    ScreenInteraction &operator=(const ScreenInteraction &) = delete;

    int answerMessageBox(const MessageBoxRequest &request) override;
    QString chooseOpenFile(const OpenFileRequest &request) override;
    QString chooseSaveFile(const OpenFileRequest &request) override;
    // Exits at once with exit code 0.
    [[noreturn]] void endProgram(const std::string &text) override;
    // A window on the screen runs as it is: nothing to hand it to.
    void windowRunning(Window &window) override;
};

}  // namespace kvr::runtime

#endif
