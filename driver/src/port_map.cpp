#include "port_map.h"

#include <cstdio>
#include <mutex>
#include <sstream>

#include "common/text.h"

namespace kvr7x {

namespace {

constexpr const char kNetworkScheme[] = "rfc2217://";

}  // namespace

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
        const std::string_view entry = kvr::common::trimBlanks(line);
        if (entry.empty() || entry[0] == '#') continue;
        const auto eq = entry.find('=');
        if (eq == std::string_view::npos) continue;
        if (comNumber(std::string(kvr::common::trimBlanks(entry.substr(0, eq)))) != n) continue;
        found = std::string(
            kvr::common::trimBlanks(entry.substr(eq + 1)));  // the last line for COMn wins
    }
    return found;
}

std::string ignoredMapText(const std::string &path, const std::string &why) {
    return "ports map " + path + " " + why + ": ignored";
}

void tellIgnoredMap(const std::string &text) {
    // Kept for the life of the process, as the reason told last.
    static std::mutex *const lock = new std::mutex;
    static std::string *const told = new std::string;
    const std::lock_guard<std::mutex> guard(*lock);
    if (*told == text) return;
    *told = text;
    std::fprintf(stderr, "KVR7x: %s\n", text.c_str());
}

std::optional<PortTarget> networkTarget(const std::string &name) {
    if (name.rfind(kNetworkScheme, 0) != 0) return std::nullopt;
    std::string rest = name.substr(sizeof kNetworkScheme - 1);
    if (rest.empty()) return std::nullopt;
    return PortTarget{PortTarget::Kind::Network, rest};
}

}  // namespace kvr7x
