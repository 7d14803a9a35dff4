#include "keyed_file/sqlite/store_files.h"

#include "common/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kvr::keyed::sqlite {

std::string folderOf(const std::string &path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

FileFacts factsOf(const std::string &path) {
    FileFacts facts;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        facts.error = errno;
        return facts;
    }
    facts.regular = S_ISREG(st.st_mode);
    facts.markedReadOnly = (st.st_mode & 0222) == 0;
    facts.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return facts;
}

bool nameTaken(const std::string &path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

int mayRead(const std::string &path) { return ::access(path.c_str(), R_OK) == 0 ? 0 : errno; }

int mayWrite(const std::string &path) { return ::access(path.c_str(), W_OK) == 0 ? 0 : errno; }

int folderWritable(const std::string &path) {
    return ::access(folderOf(path).c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

int linkNew(const std::string &from, const std::string &to) { return ::link(from.c_str(), to.c_str()) == 0 ? 0 : errno; }

void removeFile(const std::string &path) { ::unlink(path.c_str()); }

void syncFolderOf(const std::string &path) {
    const common::UniqueFd dir(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.get());
}

}  // namespace kvr::keyed::sqlite
