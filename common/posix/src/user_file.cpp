#include "common/user_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace kvr::common {

namespace {

UserFile refused(Refusal refusal, int error = 0) {
    UserFile file;
    file.refusal = refusal;
    file.error = error;
    return file;
}

// What a failed open met: a FIFO without a reader gives ENXIO, which says
// nothing to a user; a folder gives EISDIR only when opened for writing.
UserFile failedOpen(const std::string &path, int error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISFIFO(st.st_mode)) return refused(Refusal::Fifo);
        if (S_ISDIR(st.st_mode)) return refused(Refusal::Folder);
    }
    return refused(Refusal::System, error);
}

}  // namespace

UserFile openUserFile(const std::string &path, FileUse use) {
    const int flags =
        O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (use == FileUse::Read ? O_RDONLY : O_WRONLY | O_CREAT | O_APPEND);
    UserFile file;
    file.fd.reset(::open(path.c_str(), flags, 0666));
    if (!file.fd) return failedOpen(path, errno);
    struct stat st {};
    if (::fstat(file.fd.get(), &st) != 0) return refused(Refusal::System, errno);
    if (S_ISDIR(st.st_mode)) return refused(Refusal::Folder);
    // A FIFO opened for reading does not wait for a writer, but its reads
    // would: it is no file to read.  One opened for appending has a reader
    // (else the open failed), and the log's writes do not wait for it.
    if (S_ISFIFO(st.st_mode) && use == FileUse::Read) return refused(Refusal::NotAFile);
    if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode) && !S_ISFIFO(st.st_mode)) return refused(Refusal::NotAFile);
    return file;
}

}  // namespace kvr::common
