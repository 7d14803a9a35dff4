// Network serial port: a TCP connection speaking the telnet COM-PORT option
// (RFC 2217), as offered by ser2net, terminal servers and kvr7x-emu.
#ifndef KVR7X_RFC2217_PORT_H
#define KVR7X_RFC2217_PORT_H

#include <functional>
#include <memory>
#include <string>

#include "serial_port.h"

namespace kvr7x {

// Points inside the port where a test may hold one of the port's threads,
// so that a race between them comes out the same way every time.  Empty
// unless a test sets them; they run without the port's locks held.
struct Rfc2217Seams {
    // In the receive thread: bytes have come in on the socket and none of
    // them is in the receive queue yet.
    std::function<void()> receiveThreadHasBytes;
    // In the caller's thread: a read begins, before it looks at what has
    // come.
    std::function<void()> readBegins;
};

// hostPort is "HOST:PORT" (the part after "rfc2217://").  Returns the open
// port, or null with lastError() set.
[[nodiscard]] std::unique_ptr<SerialPort> openRfc2217Port(const std::string &hostPort,
                                                          Rfc2217Seams seams = {});

}  // namespace kvr7x

#endif
