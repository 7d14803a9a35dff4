#include "keyed_file/network_volume.h"

#include <sys/vfs.h>

namespace kvr::keyed {

namespace {
// The types statfs gives (linux/magic.h).
constexpr unsigned long kNfs = 0x6969;
constexpr unsigned long kSmb = 0x517B;
constexpr unsigned long kSmb2 = 0xFE534D42;
constexpr unsigned long kCifs = 0xFF534D42;
}  // namespace

std::string networkFileSystemOfType(unsigned long type) {
    switch (type) {
    case kNfs: return "NFS";
    case kSmb:
    case kSmb2: return "SMB";
    case kCifs: return "CIFS";
    default: return {};
    }
}

std::string networkFileSystemOf(const std::string &path) {
    struct statfs st {};
    if (::statfs(path.c_str(), &st) != 0) {
        const auto slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        if (::statfs(folder.c_str(), &st) != 0) return {};
    }
    return networkFileSystemOfType(static_cast<unsigned long>(st.f_type));
}

}  // namespace kvr::keyed
