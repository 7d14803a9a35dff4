// Local serial devices on Windows: COM ports.
#include "device_port.h"
#include "win32/comm_port.h"

namespace kvr7x {

std::unique_ptr<SerialPort> openDevicePort(const std::string &name) { return openCommPort(name); }

}  // namespace kvr7x
