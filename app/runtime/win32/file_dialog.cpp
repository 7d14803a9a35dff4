#include "runtime/win32/file_dialog.h"

#include "runtime/win32/text.h"

#include <commdlg.h>

#include <algorithm>

namespace kvr::runtime::win32 {
namespace {

std::string runDialog(HWND owner, const FileDialogRequest &request, bool save) {
    const std::wstring title = widen(request.title);
    const std::wstring filter = dialogFilter(request.filter);
    std::wstring path = widen(request.start);
    path.resize(std::max<std::size_t>(path.size() + 1, 32768), L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = DWORD(path.size());
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST |
                   (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen) return {};
    path.resize(path.find(L'\0'));
    return narrow(path);
}

}  // namespace

std::wstring dialogFilter(const std::string &filter) {
    std::wstring pairs = widen(filter);
    std::replace(pairs.begin(), pairs.end(), L'|', L'\0');
    pairs.push_back(L'\0');
    pairs.push_back(L'\0');
    return pairs;
}

std::string runOpenFileDialog(HWND owner, const FileDialogRequest &request) { return runDialog(owner, request, false); }

std::string runSaveFileDialog(HWND owner, const FileDialogRequest &request) { return runDialog(owner, request, true); }

}  // namespace kvr::runtime::win32
