// Local serial devices on POSIX: ttys.
#include "device_port.h"
#include "tty_port.h"

namespace kvr7x {

std::unique_ptr<SerialPort> openDevicePort(const std::string &name) { return TtyPort::open(name); }

}  // namespace kvr7x
