// A file written whole and to the disk: created or emptied, `text` written
// in full, flushed to the device, closed.  A full disk that only shows when
// the data reaches it is a failure too.  One implementation per platform
// (saved_file.cpp on POSIX, win32/src/saved_file.cpp on Windows).
#ifndef KVR_COMMON_SAVED_FILE_H
#define KVR_COMMON_SAVED_FILE_H

#include <string>

namespace kvr::common {

// Whether the file was saved; else `error` is the errno value.
[[nodiscard]] bool saveWholeFile(const std::string &path, const std::string &text, int &error);

}  // namespace kvr::common

#endif
