#include "port_names.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace kvr7x {

namespace {

constexpr const char kNetworkScheme[] = "rfc2217://";

std::string trim(const std::string &s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool startsWith(const std::string &s, const char *prefix) {
    return s.rfind(prefix, 0) == 0;
}

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

// The map's target for COMn, when it has one.
std::optional<std::string> mappedTarget(int n) {
    std::ifstream in(deviceMapPath());
    if (!in) return std::nullopt;
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

std::string PortTarget::key() const {
    if (kind == Kind::Network) return "net:" + address;
    char real[PATH_MAX];
    if (::realpath(address.c_str(), real)) return std::string("dev:") + real;
    return "dev:" + address;
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
