// Port names accepted by QXOPEN and what they stand for.
//   "COM1".."COM9"        the per-user device map $XDG_CONFIG_HOME/kvr7x/ports
//                         (default ~/.config/kvr7x/ports), lines "COMn=target",
//                         blank lines and "#" comments ignored, whitespace
//                         and a UTF-8 byte-order mark at the start trimmed;
//                         a COMn not in the map is /dev/ttyS<n-1>.  Only a
//                         regular file of at most 64 KiB is read; anything
//                         else there (a FIFO, a device, a folder) counts as
//                         no map, and the last-error text says why
//   "/..."                a device path
//   "rfc2217://HOST:PORT" a network serial port
// Anything else names no port.
#ifndef KVR7X_PORT_NAMES_H
#define KVR7X_PORT_NAMES_H

#include <optional>
#include <string>
#include <vector>

namespace kvr7x {

struct PortTarget {
    enum class Kind { Device, Network };
    Kind kind = Kind::Device;
    std::string address;  // device path, or "HOST:PORT" for a network port
    // Identities of the target for the one-open-per-target rule: the
    // device's canonical path (symbolic links followed), or every address
    // and port a network name resolves to ("localhost", "127.1" and
    // "127.0.0.1" meet in 127.0.0.1).
    std::vector<std::string> identities() const;
};

// Resolves a port name; nullopt when it names no port.
[[nodiscard]] std::optional<PortTarget> resolvePortName(const char *name);

// Path of the per-user device map.
std::string deviceMapPath();

}  // namespace kvr7x

#endif
