// Network serial port: a TCP connection speaking the telnet COM-PORT option
// (RFC 2217), as offered by ser2net, terminal servers and kvr7x-emu.
#ifndef KVR7X_RFC2217_PORT_H
#define KVR7X_RFC2217_PORT_H

#include <memory>
#include <string>

#include "serial_port.h"

namespace kvr7x {

// hostPort is "HOST:PORT" (the part after "rfc2217://").  Returns the open
// port, or null with lastError() set.
[[nodiscard]] std::unique_ptr<SerialPort> openRfc2217Port(const std::string &hostPort);

}  // namespace kvr7x

#endif
