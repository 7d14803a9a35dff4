// Opening a file a user named (in the environment, the settings, on the
// command line) so that whatever is there cannot hang the program: the open
// does not wait (a FIFO without a reader fails at once instead of waiting
// for one), and only a regular file or a character device (a terminal,
// /dev/null) is kept.  The descriptor stays non-blocking, so that a log
// written to it never waits either (append_log.h).
#ifndef KVR_COMMON_USER_FILE_H
#define KVR_COMMON_USER_FILE_H

#include <string>

#include "common/unique_fd.h"

namespace kvr::common {

enum class FileUse { Read, Append };

// Why a path was not opened: the system's error, or what was found there.
enum class Refusal { None, System, Folder, Fifo, NotAFile };

struct UserFile {
    UniqueFd fd;
    Refusal refusal = Refusal::None;
    int error = 0;  // errno, for Refusal::System
};

// Opens `path` for reading, or for appending (creating it, mode 0666 less
// the umask).
[[nodiscard]] UserFile openUserFile(const std::string &path, FileUse use);

// The reason in English, for messages of their own: the system's text
// (strerror), "it is a folder", "it is a FIFO that no program reads", "it is
// not a regular file".
std::string refusalText(const UserFile &file);

}  // namespace kvr::common

#endif
