#include "port_names.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/user_file.h"
#include "network_identities.h"
#include "port_map.h"
#include "serial_port.h"

namespace kvr7x {

namespace {

constexpr off_t kMaxMapSize = static_cast<off_t>(kMaxPortMapSize);

// A direct target: a device path or a network address.
std::optional<PortTarget> directTarget(const std::string &name) {
    if (name.rfind('/', 0) == 0) return PortTarget{PortTarget::Kind::Device, name};
    return networkTarget(name);
}

// The text of the device map; empty when there is none or it may not be
// read, with the reason in the last-error text and, once, on stderr.
// Opened without waiting (a FIFO there must not hold the caller) and looked
// at before a byte is read.
std::string readDeviceMap() {
    const std::string path = deviceMapPath();
    const kvr::common::UserFile file = kvr::common::openUserFile(path, kvr::common::FileUse::Read);
    std::string why;
    if (!file.fd) {
        const bool absent = file.refusal == kvr::common::Refusal::System &&
                            (file.error == ENOENT || file.error == ENOTDIR);
        if (absent) return {};
        why = file.refusal == kvr::common::Refusal::System
                  ? std::string("cannot be read (") + std::strerror(file.error) + ")"
              : file.refusal == kvr::common::Refusal::Folder ? "is a folder"
                                                             : "is not a regular file";
    }
    struct stat st {};
    if (!why.empty()) {
    } else if (::fstat(file.fd.get(), &st) != 0)
        why = std::string("cannot be examined (") + std::strerror(errno) + ")";
    else if (!S_ISREG(st.st_mode))
        why = "is not a regular file";
    else if (st.st_size > kMaxMapSize)
        why = "is larger than " + std::to_string(kMaxMapSize / 1024) + " KiB";
    std::string text;
    char buf[4096];
    while (why.empty()) {
        const ssize_t k = ::read(file.fd.get(), buf, sizeof buf);
        if (k < 0 && errno == EINTR) continue;
        if (k < 0) why = std::string("cannot be read (") + std::strerror(errno) + ")";
        if (k <= 0) break;
        text.append(buf, static_cast<size_t>(k));
        if (text.size() > kMaxMapSize)
            why = "grew past " + std::to_string(kMaxMapSize / 1024) + " KiB";
    }
    if (!why.empty()) {
        setLastErrorText(ignoredMapText(path, why));
        tellIgnoredMap(lastErrorText());
        return {};
    }
    return text;
}

// $HOME, else the account's home folder.
std::string homeFolder() {
    if (const char *home = std::getenv("HOME"); home && *home) return home;
    std::vector<char> buf(16384);
    passwd pw{};
    passwd *found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
        found->pw_dir)
        return found->pw_dir;
    return {};
}

}  // namespace

std::string deviceMapPath() {
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        base = homeFolder() + "/.config";
    }
    return base + "/kvr7x/ports";
}

std::vector<std::string> PortTarget::identities() const {
    if (kind == Kind::Device) {
        char real[PATH_MAX];
        if (::realpath(address.c_str(), real)) return {std::string("dev:") + real};
        return {"dev:" + address};
    }
    // The addresses the connection may go to, as numbers.  A name that does
    // not resolve cannot be connected to either; its text will do.
    return networkIdentities(address);
}

std::optional<PortTarget> resolvePortName(const char *name) {
    if (!name || !*name) return std::nullopt;
    const std::string s(name);
    if (auto t = directTarget(s)) return t;
    const int n = comNumber(s);
    if (n == 0) return std::nullopt;
    if (auto mapped = mappedTarget(readDeviceMap(), n)) return directTarget(*mapped);
    return PortTarget{PortTarget::Kind::Device, "/dev/ttyS" + std::to_string(n - 1)};
}

}  // namespace kvr7x
