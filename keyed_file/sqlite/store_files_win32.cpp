// Windows: a file's number is its volume's serial number and its file
// index (GetFileInformationByHandle); the read-only attribute is the
// permission bits' counterpart.  A folder's list of names needs no flush
// of its own there.
#include "keyed_file/sqlite/store_files.h"

#include "keyed_file/win32_paths.h"

#include <io.h>
#include <windows.h>

#include <cerrno>

namespace kvr::keyed::sqlite {

namespace {

constexpr int kReadable = 4;
constexpr int kWritable = 2;

int accessOf(const std::string &path, int mode) {
    return ::_waccess(win32::widePath(path).c_str(), mode) == 0 ? 0 : errno;
}

}  // namespace

std::string folderOf(const std::string &path) {
    auto slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    if (slash == 0) return path.substr(0, 1);
    // "C:\" stays the drive's root.
    if (slash == 2 && path[1] == ':') return path.substr(0, 3);
    return path.substr(0, slash);
}

FileFacts factsOf(const std::string &path) {
    FileFacts facts;
    // No access asked: only the file's information is read.  Folders open
    // only with backup semantics.
    HANDLE file = ::CreateFileW(win32::widePath(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        facts.error = win32::errnoOf(::GetLastError());
        return facts;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) {
        facts.error = win32::errnoOf(::GetLastError());
        ::CloseHandle(file);
        return facts;
    }
    ::CloseHandle(file);
    facts.regular = (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    facts.markedReadOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    facts.id = {info.dwVolumeSerialNumber, (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return facts;
}

bool nameTaken(const std::string &path) {
    return ::GetFileAttributesW(win32::widePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

int mayRead(const std::string &path) { return accessOf(path, kReadable); }

int mayWrite(const std::string &path) { return accessOf(path, kWritable); }

int folderWritable(const std::string &path) { return accessOf(folderOf(path), kWritable); }

int linkNew(const std::string &from, const std::string &to) {
    if (::CreateHardLinkW(win32::widePath(to).c_str(), win32::widePath(from).c_str(), nullptr)) return 0;
    return win32::errnoOf(::GetLastError());
}

void removeFile(const std::string &path) { ::DeleteFileW(win32::widePath(path).c_str()); }

void syncFolderOf(const std::string &) {}

}  // namespace kvr::keyed::sqlite
