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

#include "rfc2217/address_list.h"
#include "telnet/host_port.h"

namespace kvr7x {

std::vector<std::string> networkIdentities(const std::string &address) {
    std::string host;
    uint16_t port = 0;
    if (!telnet::splitHostPort(address, host, port)) return {"net:" + address};
    const rfc2217::AddressList list(host, port);
    if (list.empty()) return {"net:" + address};
    std::set<std::string> found;
    for (const addrinfo *ai = list.first(); ai; ai = ai->ai_next) {
        char name[NI_MAXHOST];
        if (::getnameinfo(ai->ai_addr, static_cast<socklen_t>(ai->ai_addrlen), name, sizeof name,
                          nullptr, 0, NI_NUMERICHOST) == 0)
            found.insert("net:[" + std::string(name) + "]:" + std::to_string(port));
    }
    if (found.empty()) return {"net:" + address};
    return {found.begin(), found.end()};
}

}  // namespace kvr7x
