// The open-file dialog: a title and a filter of "description|patterns"
// pairs ("Comandos|*.tps", several patterns separated by ";").
//
// Tests answer it through setOpenFileAnswerer() instead of driving the
// platform's dialog.
#ifndef KVR_RUNTIME_FILE_DIALOG_H
#define KVR_RUNTIME_FILE_DIALOG_H

#include <QString>

#include <functional>

namespace kvr::runtime {

struct OpenFileRequest {
    QString title;
    QString filter;    // "Comandos|*.tps"
    QString qtFilter;  // the same for Qt: "Comandos (*.tps)"
    QString start;     // the file (or folder) the dialog starts from
};

// Shows the dialog modally, starting from start (a file there is offered
// chosen; empty: the current directory); the path chosen, or an empty text
// when the operator cancelled.  The window it was opened from gets the
// keyboard back when it closes.
QString chooseOpenFile(const QString &title, const QString &filter, const QString &start = {});

// "Comandos|*.tps|Todos|*.*" -> "Comandos (*.tps);;Todos (*.*)".
QString toQtFilter(const QString &filter);

using OpenFileAnswerer = std::function<QString(const OpenFileRequest &)>;
// Replaces the dialog; pass an empty function to restore it.
void setOpenFileAnswerer(OpenFileAnswerer answerer);

// The save-file dialog, the same way: the path chosen (the platform's dialog
// has asked before replacing a file), or an empty text when cancelled.
QString chooseSaveFile(const QString &title, const QString &filter, const QString &start = {});
// Replaces the save dialog (the same request); empty restores it.
void setSaveFileAnswerer(OpenFileAnswerer answerer);

}  // namespace kvr::runtime

#endif
