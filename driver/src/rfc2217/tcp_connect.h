// TCP connection set-up for network serial ports.
#ifndef KVR7X_RFC2217_TCP_CONNECT_H
#define KVR7X_RFC2217_TCP_CONNECT_H

#include <chrono>
#include <cstdint>
#include <string>

#include "rfc2217/socket_io.h"

namespace kvr7x::rfc2217 {

// Connects to host:port within `limit`, trying every address the name
// resolves to.  Returns a connected socket with TCP_NODELAY set, or
// kNoSocket with the port-layer last error set.  Whether the socket blocks
// is the socket shell's business (socket_io.h): sendSome never waits, nor
// does receiveWithin beyond the wait it is given.
[[nodiscard]] SocketHandle connectTcp(const std::string &host, uint16_t port,
                                      std::chrono::milliseconds limit);

}  // namespace kvr7x::rfc2217

#endif
