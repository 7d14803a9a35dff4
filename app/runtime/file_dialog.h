// The open-file dialog: a title and a filter of "description|patterns"
// pairs ("Comandos|*.tps", several patterns separated by ";").
//
// The dialogs are put to the operator through the program's UserInteraction
// (user_interaction.h), which tests replace to answer them.
#ifndef KVR_RUNTIME_FILE_DIALOG_H
#define KVR_RUNTIME_FILE_DIALOG_H

#include "runtime/user_interaction.h"

#include <QString>

namespace kvr::runtime {

struct OpenFileRequest {
    QString title;
    QString filter;    // "Comandos|*.tps"
    QString qtFilter;  // the same for Qt: "Comandos (*.tps)"
    QString start;     // the file (or folder) the dialog starts from
};

// Puts the dialog to the operator through interaction, starting from start
// (a file there is offered chosen; empty: the current directory); the path
// chosen, or an empty text when the operator cancelled.
QString chooseOpenFile(UserInteraction &interaction, const QString &title, const QString &filter,
                       const QString &start = {});
// The platform's dialog, shown modally.  The window it was opened from gets
// the keyboard back when it closes.
QString runOpenFileDialog(const OpenFileRequest &request);

// "Comandos|*.tps|Todos|*.*" -> "Comandos (*.tps);;Todos (*.*)".
QString toQtFilter(const QString &filter);

// The save-file dialog, the same way: the path chosen (the platform's dialog
// has asked before replacing a file), or an empty text when cancelled.
QString chooseSaveFile(UserInteraction &interaction, const QString &title, const QString &filter,
                       const QString &start = {});
QString runSaveFileDialog(const OpenFileRequest &request);

}  // namespace kvr::runtime

#endif
