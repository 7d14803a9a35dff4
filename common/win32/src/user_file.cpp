// Windows: a file a user names is opened through the C runtime's
// descriptors, never inherited by programs started.  Opening a file there
// never waits (Windows has no FIFO that waits for a reader); a folder cannot
// be opened at all, and is told from the error by looking at the path.
#include "common/user_file.h"

#include "wide_path.h"

#include <fcntl.h>
#include <io.h>
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

}  // namespace

UserFile openUserFile(const std::string &path, FileUse use) {
    const int flags = _O_BINARY | _O_NOINHERIT | (use == FileUse::Read ? _O_RDONLY : _O_WRONLY | _O_CREAT | _O_APPEND);
    UserFile file;
    file.fd.reset(::_wopen(win32::widePath(path).c_str(), flags, _S_IREAD | _S_IWRITE));
    if (!file.fd) {
        const int error = errno;
        struct _stat64 st {};
        if (::_wstat64(win32::widePath(path).c_str(), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFDIR)
            return refused(Refusal::Folder);
        return refused(Refusal::System, error);
    }
    struct _stat64 st {};
    if (::_fstat64(file.fd.get(), &st) != 0) return refused(Refusal::System, errno);
    const auto type = st.st_mode & _S_IFMT;
    if (type == _S_IFDIR) return refused(Refusal::Folder);
    // A regular file, or a device such as NUL or the console.
    if (type != _S_IFREG && type != _S_IFCHR) return refused(Refusal::NotAFile);
    return file;
}

}  // namespace kvr::common
