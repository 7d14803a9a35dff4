// The library's table of open ports.  A port handle is a small non-negative
// number naming an entry of this table (never a raw descriptor).  Entries
// hold their port by shared_ptr, so a close while another thread still uses
// the port (the notification thread waiting for a line change) cannot free
// the object under that thread.
#ifndef KVR7X_PORT_TABLE_H
#define KVR7X_PORT_TABLE_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "port_names.h"
#include "serial_port.h"

namespace kvr7x {

// Highest number of ports open at once in one process.
inline constexpr int32_t kMaxPorts = 64;

// Claims a port target for this process until it is released (on
// destruction) or handed to the table.  A target is known by its
// identities: a device by its canonical path, a network port by every
// address and port its name resolves to.  A claim fails when any identity
// is claimed already, which makes every open exclusive within the process
// before the device or server is touched, whatever name it is given.
class TargetClaim {
public:
    explicit TargetClaim(std::vector<std::string> identities);
    ~TargetClaim();
    TargetClaim(const TargetClaim &) = delete;
    TargetClaim &operator=(const TargetClaim &) = delete;

    bool held() const { return held_; }
    const std::vector<std::string> &identities() const { return identities_; }
    // Gives the claim up without releasing it (the table now owns it).
    void handOver() { held_ = false; }

private:
    std::vector<std::string> identities_;
    bool held_ = false;
};

// A table entry kept for a port still being opened, so that a full table
// fails the open before the line is touched.  Released on destruction
// unless a port was placed in it.
class PortSlot {
public:
    PortSlot();
    ~PortSlot();
    PortSlot(const PortSlot &) = delete;
    PortSlot &operator=(const PortSlot &) = delete;

    // False when the table is full.
    bool held() const { return handle_ >= 0; }
    // Enters the port (and the claim, when held) under the slot's handle
    // and returns the handle.  The target is kept for opening the port
    // again (reopenPort).
    [[nodiscard]] int32_t place(std::shared_ptr<SerialPort> port, TargetClaim *claim,
                                std::optional<PortTarget> target = std::nullopt);

private:
    int32_t handle_ = -1;
};

// Enters an open port into the table.  With a claim, the target stays
// claimed until the port is closed.  Returns the new handle, or -1 when the
// table is full (the port is then left to the caller).  This is also the
// seam through which tests drive the whole API over a port of their own.
[[nodiscard]] int32_t registerPort(std::shared_ptr<SerialPort> port, TargetClaim *claim = nullptr);

// The port named by a handle, or null when the handle names no open port.
[[nodiscard]] std::shared_ptr<SerialPort> findPort(int32_t handle);

// The target the port of a handle was opened on, when it was kept.
[[nodiscard]] std::optional<PortTarget> targetOf(int32_t handle);

// Puts a port opened again in place of the one the handle names, when that
// is still `current` (a close or another reopen did not come first); the
// handle, its claim and its target stay.  False otherwise.
[[nodiscard]] bool replacePort(int32_t handle, const std::shared_ptr<SerialPort> &current,
                               std::shared_ptr<SerialPort> replacement);

// Takes the port out of the table, releases its target and closes it.
// Returns the close result; false (lastError 6) when the handle names no
// open port.
[[nodiscard]] bool closePort(int32_t handle);

}  // namespace kvr7x

#endif
