// Texts across the Win32 boundary: the runtime's interface speaks UTF-8,
// the Win32 calls made here are the wide (W) ones, in UTF-16.  Invalid
// UTF-8 becomes U+FFFD, as MultiByteToWideChar makes it.
#ifndef KVR_RUNTIME_WIN32_TEXT_H
#define KVR_RUNTIME_WIN32_TEXT_H

#include <string>
#include <string_view>

#include <windows.h>

namespace kvr::runtime::win32 {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// The whole text of a window (a control's contents, a caption), in UTF-8.
std::string windowText(HWND window);

}  // namespace kvr::runtime::win32

#endif
