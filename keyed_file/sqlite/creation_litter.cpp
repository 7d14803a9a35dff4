#include "keyed_file/sqlite/creation_litter.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace kvr::keyed::sqlite {

namespace {

bool processGone(long pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

// The process number of a temporary name of base ("BASE.new.123" or
// "BASE.rebuild.123", with or without "-journal"), or 0.
long ownerOf(std::string_view name, std::string_view base) {
    if (name.substr(0, base.size()) != base) return 0;
    name.remove_prefix(base.size());
    for (std::string_view purpose : {".new.", ".rebuild."}) {
        if (name.substr(0, purpose.size()) != purpose) continue;
        name.remove_prefix(purpose.size());
        if (name.size() > 8 && name.substr(name.size() - 8) == "-journal") name.remove_suffix(8);
        if (name.empty() || name.size() > 10 || name.find_first_not_of("0123456789") != std::string_view::npos)
            return 0;
        return std::strtol(std::string(name).c_str(), nullptr, 10);
    }
    return 0;
}

}  // namespace

std::string temporaryNameOf(const std::string &path, const char *purpose) {
    return path + "." + purpose + "." + std::to_string(::getpid());
}

void removeCreationLitter(const std::string &path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return;
    while (const dirent *entry = ::readdir(dir.get())) {
        const long owner = ownerOf(entry->d_name, base);
        if (owner != 0 && processGone(owner)) ::unlink((folder + "/" + entry->d_name).c_str());
    }
}

}  // namespace kvr::keyed::sqlite
