// Network addresses written as "HOST:PORT".
#ifndef KVR_TELNET_HOST_PORT_H
#define KVR_TELNET_HOST_PORT_H

#include <cstdint>
#include <string>

namespace kvr7x::telnet {

// Whether port 0 ("any free port") is a valid answer: a server may listen on
// it, a client cannot connect to it.
enum class PortZero : uint8_t { Refused, Allowed };

// Splits "HOST:PORT" ("[v6addr]:PORT" for IPv6 literals).  False when the
// text is not of that form or the port is out of range (1..65535, or
// 0..65535 with PortZero::Allowed).
[[nodiscard]] bool splitHostPort(const std::string &text, std::string &host, uint16_t &port,
                                 PortZero zero = PortZero::Refused);

}  // namespace kvr7x::telnet

#endif
