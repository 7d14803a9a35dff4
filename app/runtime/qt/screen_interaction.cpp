#include "runtime/qt/screen_interaction.h"

#include "runtime/qt/file_dialog.h"
#include "runtime/qt/message_box.h"

#include <cstdlib>

namespace kvr::runtime::qt {

int ScreenInteraction::answerMessageBox(const MessageBoxRequest &request) { return runMessageBox(request); }

std::string ScreenInteraction::chooseOpenFile(const OpenFileRequest &request) {
    return runOpenFileDialog(request).toStdString();
}

std::string ScreenInteraction::chooseSaveFile(const OpenFileRequest &request) {
    return runSaveFileDialog(request).toStdString();
}

void ScreenInteraction::endProgram(const std::string &) { std::exit(0); }

void ScreenInteraction::windowRunning(runtime::Window &) {}

}  // namespace kvr::runtime::qt
