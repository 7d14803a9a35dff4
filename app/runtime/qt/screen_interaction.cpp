#include "runtime/qt/screen_interaction.h"

#include "runtime/file_dialog.h"
#include "runtime/message_box.h"

#include <cstdlib>

namespace kvr::runtime {

int ScreenInteraction::answerMessageBox(const MessageBoxRequest &request) { return runMessageBox(request); }

QString ScreenInteraction::chooseOpenFile(const OpenFileRequest &request) { return runOpenFileDialog(request); }

QString ScreenInteraction::chooseSaveFile(const OpenFileRequest &request) { return runSaveFileDialog(request); }

void ScreenInteraction::endProgram(const std::string &) { std::exit(0); }

void ScreenInteraction::windowRunning(Window &) {}

}  // namespace kvr::runtime
