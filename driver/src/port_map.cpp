#include "port_map.h"

#include <sstream>

namespace kvr7x {

namespace {

constexpr const char kNetworkScheme[] = "rfc2217://";

}  // namespace

std::string trimBlanks(const std::string &s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

int comNumber(const std::string &name) {
    if (name.size() != 4) return 0;
    auto up = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; };
    if (up(name[0]) != 'C' || up(name[1]) != 'O' || up(name[2]) != 'M') return 0;
    if (name[3] < '1' || name[3] > '9') return 0;
    return name[3] - '0';
}

std::optional<std::string> mappedTarget(const std::string &mapText, int n) {
    std::string text = mapText;
    // A byte-order mark left by an editor is no part of the first line.
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    std::istringstream in(text);
    std::optional<std::string> found;
    std::string line;
    while (std::getline(in, line)) {
        line = trimBlanks(line);
        if (line.empty() || line[0] == '#') continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (comNumber(trimBlanks(line.substr(0, eq))) != n) continue;
        found = trimBlanks(line.substr(eq + 1));  // the last line for COMn wins
    }
    return found;
}

std::optional<PortTarget> networkTarget(const std::string &name) {
    if (name.rfind(kNetworkScheme, 0) != 0) return std::nullopt;
    std::string rest = name.substr(sizeof kNetworkScheme - 1);
    if (rest.empty()) return std::nullopt;
    return PortTarget{PortTarget::Kind::Network, rest};
}

}  // namespace kvr7x
