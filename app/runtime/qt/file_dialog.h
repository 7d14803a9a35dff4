// The open- and save-file dialogs on Qt, for OpenFileRequest (file_dialog.h).
#ifndef KVR_RUNTIME_QT_FILE_DIALOG_H
#define KVR_RUNTIME_QT_FILE_DIALOG_H

#include "runtime/file_dialog.h"

#include <QString>

namespace kvr::runtime::qt {

// The platform's dialog, shown modally.  The window it was opened from gets
// the keyboard back when it closes.
QString runOpenFileDialog(const OpenFileRequest &request);
// The platform's save dialog (it asks before replacing a file).
QString runSaveFileDialog(const OpenFileRequest &request);

// "Comandos|*.tps|Todos|*.*" -> "Comandos (*.tps);;Todos (*.*)".
QString toQtFilter(const QString &filter);

}  // namespace kvr::runtime::qt

#endif
