#include "keyed_file/network_volume.h"

namespace kvr::keyed {

namespace {
// The types statfs gives (linux/magic.h); networkFileSystemOf has one
// implementation per platform (network_volume_posix.cpp, _win32.cpp).
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

}  // namespace kvr::keyed
