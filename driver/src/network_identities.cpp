#include "network_identities.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <cstdint>
#include <set>

#include "telnet/host_port.h"

namespace kvr7x {

std::vector<std::string> networkIdentities(const std::string &address) {
    std::string host;
    uint16_t port = 0;
    if (!telnet::splitHostPort(address, host, port)) return {"net:" + address};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *list = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0 || !list)
        return {"net:" + address};
    std::set<std::string> found;
    for (const addrinfo *ai = list; ai; ai = ai->ai_next) {
        char name[NI_MAXHOST];
        if (::getnameinfo(ai->ai_addr, static_cast<socklen_t>(ai->ai_addrlen), name, sizeof name,
                          nullptr, 0, NI_NUMERICHOST) == 0)
            found.insert("net:[" + std::string(name) + "]:" + std::to_string(port));
    }
    ::freeaddrinfo(list);
    if (found.empty()) return {"net:" + address};
    return {found.begin(), found.end()};
}

}  // namespace kvr7x
