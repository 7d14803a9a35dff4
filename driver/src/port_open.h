// Opening and closing reader ports: name resolution, the exclusive open, the
// line settings and base time-outs, and the reset probe.
#ifndef KVR7X_PORT_OPEN_H
#define KVR7X_PORT_OPEN_H

#include <cstdint>
#include <functional>
#include <memory>

#include "port_names.h"
#include "serial_port.h"

namespace kvr7x {

// Opens the device or connection a name resolves to; null with lastError()
// set on failure.
using PortOpener = std::function<std::unique_ptr<SerialPort>(const PortTarget &)>;

// Replaces how targets are opened (tests open ports of their own); an empty
// function restores the real one: a tty, or an RFC 2217 connection.
void setPortOpener(PortOpener opener);

// Opens and configures a port and probes the reader; the handle or -1.
[[nodiscard]] int32_t openReaderPort(const char *name);

// Opens the port of a handle again on the target it was opened on, with the
// reader's line, in place of `current` (a network port whose connection is
// lost); the handle stays.  The new port, or null with lastError() set (the
// handle then keeps `current`).
[[nodiscard]] std::shared_ptr<SerialPort> reopenPort(int32_t handle,
                                                     const std::shared_ptr<SerialPort> &current);

// Closes a port: nonzero on success, 0 on failure or for a handle that
// names no open port.
[[nodiscard]] int32_t closeReaderPort(int32_t handle);

}  // namespace kvr7x

#endif
