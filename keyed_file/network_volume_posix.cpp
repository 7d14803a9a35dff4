#include "keyed_file/network_volume.h"

#include <sys/vfs.h>

namespace kvr::keyed {

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
