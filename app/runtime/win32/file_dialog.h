// The open- and save-file dialogs (comdlg32): a title and a filter of
// "description|patterns" pairs ("Comandos|*.tps", several patterns
// separated by ";"); texts and paths in UTF-8.
#ifndef KVR_RUNTIME_WIN32_FILE_DIALOG_H
#define KVR_RUNTIME_WIN32_FILE_DIALOG_H

#include <windows.h>

#include <string>

namespace kvr::runtime::win32 {

struct FileDialogRequest {
    std::string title;
    std::string filter;  // "Comandos|*.tps"
    std::string start;   // the file offered, or empty
};

// "Comandos|*.tps|Todos|*.*" as the dialogs take it: the same with every
// "|" a NUL, and two NULs at the end.
std::wstring dialogFilter(const std::string &filter);

// The path chosen (of an existing file), or empty when cancelled.
std::string runOpenFileDialog(HWND owner, const FileDialogRequest &request);
// The path chosen (the dialog has asked before replacing a file), or empty.
std::string runSaveFileDialog(HWND owner, const FileDialogRequest &request);

}  // namespace kvr::runtime::win32

#endif
