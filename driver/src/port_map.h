// The text of the per-user ports map, the same on every system: lines
// "COMn=target", blank lines and "#" comments ignored, whitespace and a
// UTF-8 byte-order mark at the start trimmed, the last line for a COMn wins.
// Where the file lives and how it is read is the system's part
// (port_names_posix.cpp, win32/port_names_win32.cpp).
#ifndef KVR7X_PORT_MAP_H
#define KVR7X_PORT_MAP_H

#include <optional>
#include <string>

#include "port_names.h"

namespace kvr7x {

// The largest map that is read; far more than nine lines of names need.
inline constexpr size_t kMaxPortMapSize = size_t{64} * 1024;

// "COM1".."COM9" (any letter case): the number, else 0.
[[nodiscard]] int comNumber(const std::string &name);

// The map's target for COMn, when it has one.
[[nodiscard]] std::optional<std::string> mappedTarget(const std::string &mapText, int n);

// The reason a map is not used, as the last-error text holds it:
// "ports map PATH WHY: ignored" ("is larger than 64 KiB", "is a folder").
[[nodiscard]] std::string ignoredMapText(const std::string &path, const std::string &why);

// Says on stderr why the map is not used, once for each reason: a program
// that opens COMn many times (pcscd polling) writes the line once, and again
// only when the reason changes.  Only the last-error text would tell no one:
// no call gives it out.
void tellIgnoredMap(const std::string &text);

// "rfc2217://HOST:PORT" as a network target; nullopt for any other name.
[[nodiscard]] std::optional<PortTarget> networkTarget(const std::string &name);

}  // namespace kvr7x

#endif
