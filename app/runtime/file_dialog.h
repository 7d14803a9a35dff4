// The open-file dialog: a title and a filter of "description|patterns"
// pairs ("Comandos|*.tps", several patterns separated by ";").  Texts and
// paths are UTF-8.
//
// The dialogs are put to the operator through the program's UserInteraction
// (user_interaction.h), which tests replace to answer them.
#ifndef KVR_RUNTIME_FILE_DIALOG_H
#define KVR_RUNTIME_FILE_DIALOG_H

#include "runtime/user_interaction.h"

#include <string>

namespace kvr::runtime {

struct OpenFileRequest {
    std::string title;
    std::string filter;  // "Comandos|*.tps"
    std::string start;   // the file (or folder) the dialog starts from
};

// Puts the dialog to the operator through interaction, starting from start
// (a file there is offered chosen; empty: the current directory); the path
// chosen, or an empty text when the operator cancelled.
std::string chooseOpenFile(UserInteraction &interaction, const std::string &title, const std::string &filter,
                           const std::string &start = {});

// The save-file dialog, the same way: the path chosen (the dialog has asked
// before replacing a file), or an empty text when cancelled.
std::string chooseSaveFile(UserInteraction &interaction, const std::string &title, const std::string &filter,
                           const std::string &start = {});

}  // namespace kvr::runtime

#endif
