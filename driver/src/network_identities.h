// What makes two network port addresses one port: the numeric addresses a
// host name resolves to, so that "localhost:7201" and "127.0.0.1:7201" are
// known to be the same server.  Needs the platform's sockets ready (on
// Windows, Winsock started).
#ifndef KVR7X_NETWORK_IDENTITIES_H
#define KVR7X_NETWORK_IDENTITIES_H

#include <string>
#include <vector>

namespace kvr7x {

// "net:[ADDRESS]:PORT" for each numeric address of HOST:PORT, in order and
// without repeats; "net:" and the address's own text when it is not a
// HOST:PORT or its name does not resolve (such a port cannot be connected
// to either).
std::vector<std::string> networkIdentities(const std::string &address);

}  // namespace kvr7x

#endif
