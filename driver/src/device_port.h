// Opening a local serial device by its name on this system: a tty path on
// POSIX, a COM name ("COM1", "\\.\COM12") on Windows.
#ifndef KVR7X_DEVICE_PORT_H
#define KVR7X_DEVICE_PORT_H

#include <memory>
#include <string>

#include "serial_port.h"

namespace kvr7x {

// The open device, or null with lastError() set.
[[nodiscard]] std::unique_ptr<SerialPort> openDevicePort(const std::string &name);

}  // namespace kvr7x

#endif
