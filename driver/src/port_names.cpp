#include "port_names.h"

#include <fcntl.h>
#include <netdb.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <vector>

#include "rfc2217/host_port.h"
#include "serial_port.h"

namespace kvr7x {

namespace {

constexpr const char kNetworkScheme[] = "rfc2217://";
// Far more than nine lines of names need.
constexpr off_t kMaxMapSize = 64 * 1024;

std::string trim(const std::string &s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool startsWith(const std::string &s, const char *prefix) { return s.rfind(prefix, 0) == 0; }

// A direct target: a device path or a network address.
std::optional<PortTarget> directTarget(const std::string &name) {
    if (startsWith(name, "/")) return PortTarget{PortTarget::Kind::Device, name};
    if (startsWith(name, kNetworkScheme)) {
        std::string rest = name.substr(sizeof kNetworkScheme - 1);
        if (rest.empty()) return std::nullopt;
        return PortTarget{PortTarget::Kind::Network, rest};
    }
    return std::nullopt;
}

// "COM1".."COM9" (any letter case): the number, else 0.
int comNumber(const std::string &name) {
    if (name.size() != 4) return 0;
    auto up = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; };
    if (up(name[0]) != 'C' || up(name[1]) != 'O' || up(name[2]) != 'M') return 0;
    if (name[3] < '1' || name[3] > '9') return 0;
    return name[3] - '0';
}

// The text of the device map; empty when there is none or it may not be
// read, with the reason in the last-error text.  Opened without waiting (a
// FIFO there must not hold the caller) and looked at before a byte is read.
std::string readDeviceMap() {
    const std::string path = deviceMapPath();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            setLastErrorText("ports map " + path + " cannot be read (" + std::strerror(errno) +
                             "): ignored");
        return {};
    }
    struct stat st {};
    std::string why;
    if (::fstat(fd, &st) != 0)
        why = std::string("cannot be examined (") + std::strerror(errno) + ")";
    else if (S_ISDIR(st.st_mode))
        why = "is a folder";
    else if (!S_ISREG(st.st_mode))
        why = "is not a regular file";
    else if (st.st_size > kMaxMapSize)
        why = "is larger than " + std::to_string(kMaxMapSize / 1024) + " KiB";
    std::string text;
    char buf[4096];
    while (why.empty()) {
        const ssize_t k = ::read(fd, buf, sizeof buf);
        if (k < 0 && errno == EINTR) continue;
        if (k < 0) why = std::string("cannot be read (") + std::strerror(errno) + ")";
        if (k <= 0) break;
        text.append(buf, static_cast<size_t>(k));
        if (text.size() > kMaxMapSize)
            why = "grew past " + std::to_string(kMaxMapSize / 1024) + " KiB";
    }
    ::close(fd);
    if (!why.empty()) {
        setLastErrorText("ports map " + path + " " + why + ": ignored");
        return {};
    }
    // A byte-order mark left by an editor is no part of the first line.
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    return text;
}

// The map's target for COMn, when it has one.
std::optional<std::string> mappedTarget(int n) {
    std::istringstream in(readDeviceMap());
    std::optional<std::string> found;
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (comNumber(trim(line.substr(0, eq))) != n) continue;
        found = trim(line.substr(eq + 1));  // the last line for COMn wins
    }
    return found;
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
    std::string host;
    uint16_t port = 0;
    if (!rfc2217::splitHostPort(address, host, port)) return {"net:" + address};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *list = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0 || !list)
        return {"net:" + address};
    std::set<std::string> found;
    for (const addrinfo *ai = list; ai; ai = ai->ai_next) {
        char name[NI_MAXHOST];
        if (::getnameinfo(ai->ai_addr, ai->ai_addrlen, name, sizeof name, nullptr, 0,
                          NI_NUMERICHOST) == 0)
            found.insert("net:[" + std::string(name) + "]:" + std::to_string(port));
    }
    ::freeaddrinfo(list);
    if (found.empty()) return {"net:" + address};
    return {found.begin(), found.end()};
}

std::optional<PortTarget> resolvePortName(const char *name) {
    if (!name || !*name) return std::nullopt;
    const std::string s(name);
    if (auto t = directTarget(s)) return t;
    const int n = comNumber(s);
    if (n == 0) return std::nullopt;
    if (auto mapped = mappedTarget(n)) return directTarget(*mapped);
    return PortTarget{PortTarget::Kind::Device, "/dev/ttyS" + std::to_string(n - 1)};
}

}  // namespace kvr7x
