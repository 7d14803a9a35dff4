#include "common/saved_file.h"

#include "wide_path.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>

namespace kvr::common {

bool saveWholeFile(const std::string &path, const std::string &text, int &error) {
    // Binary: the text's own line ends; not inherited by programs started.
    const int fd = ::_wopen(win32::widePath(path).c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                            _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        // A folder cannot be opened at all there (EACCES): say what it is.
        struct _stat64 st {};
        const int e = errno;
        error = ::_wstat64(win32::widePath(path).c_str(), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : e;
        return false;
    }
    int failure = 0;
    std::size_t done = 0;
    while (done < text.size() && failure == 0) {
        const std::size_t left = text.size() - done;
        const int n = ::_write(fd, text.data() + done, static_cast<unsigned>(left > INT_MAX ? INT_MAX : left));
        if (n < 0)
            failure = errno;
        else
            done += static_cast<std::size_t>(n);
    }
    // _commit is FlushFileBuffers: the data on the device.
    if (failure == 0 && ::_commit(fd) != 0) failure = errno;
    if (::_close(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0) {
        error = failure;
        return false;
    }
    return true;
}

}  // namespace kvr::common
