// Windows: the volume holding a path (GetVolumePathNameW, which also
// answers for a file not made yet) is a network one when GetDriveTypeW says
// DRIVE_REMOTE: a mapped drive or a UNC share.  Its file system's name
// tells NFS from the usual SMB share.
#include "keyed_file/network_volume.h"

#include "keyed_file/win32_paths.h"

#include <windows.h>

#include <vector>

namespace kvr::keyed {

std::string networkFileSystemOf(const std::string &path) {
    const std::wstring wide = win32::widePath(path.empty() ? std::string(".") : path);
    std::vector<wchar_t> root(wide.size() + MAX_PATH + 2, L'\0');
    if (!::GetVolumePathNameW(wide.c_str(), root.data(), static_cast<DWORD>(root.size()))) return {};
    // The root with its trailing backslash, as GetDriveTypeW wants it.
    std::wstring volume(root.data());
    if (volume.empty()) return {};
    if (volume.back() != L'\\' && volume.back() != L'/') volume += L'\\';
    if (::GetDriveTypeW(volume.c_str()) != DRIVE_REMOTE) return {};
    wchar_t system[MAX_PATH + 1] = {};
    if (::GetVolumeInformationW(volume.c_str(), nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH + 1) &&
        std::wstring(system) == L"NFS")
        return "NFS";
    return "SMB";
}

}  // namespace kvr::keyed
