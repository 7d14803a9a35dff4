// Windows only, inside kvr_common_files: paths are UTF-8 strings, as
// everywhere in the project, and go to the C runtime's wide calls.
#ifndef KVR_COMMON_WIN32_WIDE_PATH_H
#define KVR_COMMON_WIN32_WIDE_PATH_H

#include <windows.h>

#include <string>

namespace kvr::common::win32 {

inline std::wstring widePath(const std::string &utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), n);
    return wide;
}

}  // namespace kvr::common::win32

#endif
