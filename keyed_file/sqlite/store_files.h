// What the SQLite store asks of the file system about a keyed file, besides
// the database itself: the platform seam, stat, lstat, access, link and
// fsync on POSIX (store_files_posix.cpp), GetFileInformationByHandle,
// CreateHardLinkW and the C runtime's _waccess on Windows
// (store_files_win32.cpp).  Errors are errno values.
#ifndef KVR_KEYED_SQLITE_STORE_FILES_H
#define KVR_KEYED_SQLITE_STORE_FILES_H

#include <compare>
#include <cstdint>
#include <string>

namespace kvr::keyed::sqlite {

// A file whatever its name: device (volume) and file number.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    auto operator<=>(const FileId &) const = default;
};

struct FileFacts {
    int error = 0;  // errno when the path could not be looked at
    bool regular = false;
    bool markedReadOnly = false;  // no write permission bit, or the read-only attribute
    FileId id;
};

// The facts of what path names (links followed).
FileFacts factsOf(const std::string &path);
// Whether anything has that name, a dangling link included.
bool nameTaken(const std::string &path);
// Whether this process may read or write the file (0), or the errno value.
int mayRead(const std::string &path);
int mayWrite(const std::string &path);
// Whether files may be made and removed in the folder of path (0), or the
// errno value.
int folderWritable(const std::string &path);
// Gives the file `from` the further name `to`, never replacing what is
// there: 0, EEXIST, or another errno value.
int linkNew(const std::string &from, const std::string &to);
void removeFile(const std::string &path);
// Makes the folder of path's list of names durable, where the system needs
// that asked for.
void syncFolderOf(const std::string &path);

// The folder part of path ("." for a bare name).
std::string folderOf(const std::string &path);

}  // namespace kvr::keyed::sqlite

#endif
