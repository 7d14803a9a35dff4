// Windows only: what the engine's Win32 seams share.  Paths are UTF-8, as
// SQLite takes them, and go to the system's wide calls; the system's errors
// are told as the errno values the engine reports (sqlite/status.h).
#ifndef KVR_KEYED_WIN32_PATHS_H
#define KVR_KEYED_WIN32_PATHS_H

#include <string>

namespace kvr::keyed::win32 {

std::wstring widePath(const std::string &utf8);
std::string utf8Path(const std::wstring &wide);

// The errno value closest to a GetLastError() code.
int errnoOf(unsigned long error);

}  // namespace kvr::keyed::win32

#endif
