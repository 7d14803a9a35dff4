// The addresses a "HOST" and port resolve to for a TCP stream, as the
// system's resolver lists them (getaddrinfo), freed with the object.  The
// same on POSIX sockets and Winsock (where Winsock must be started first).
#ifndef KVR7X_RFC2217_ADDRESS_LIST_H
#define KVR7X_RFC2217_ADDRESS_LIST_H

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <cstdint>
#include <string>

namespace kvr7x::rfc2217 {

class AddressList {
public:
    // Resolves `host` (a name or a numeric address) with `port`; empty when
    // it does not resolve.
    AddressList(const std::string &host, uint16_t port) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list_) != 0)
            list_ = nullptr;
    }
    ~AddressList() {
        if (list_ != nullptr) ::freeaddrinfo(list_);
    }
    AddressList(const AddressList &) = delete;
    AddressList &operator=(const AddressList &) = delete;

    bool empty() const { return list_ == nullptr; }
    // The first address; the others follow through ai_next.
    const addrinfo *first() const { return list_; }

private:
    addrinfo *list_ = nullptr;
};

}  // namespace kvr7x::rfc2217

#endif
