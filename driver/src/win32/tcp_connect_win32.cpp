// Connection set-up for network serial ports on Winsock: the same rules as
// on POSIX (every address the name resolves to, one limit for all of them,
// a non-blocking socket with TCP_NODELAY).
#include <winsock2.h>
#include <ws2tcpip.h>

#include "rfc2217/address_list.h"
#include "rfc2217/tcp_connect.h"
#include "serial_port.h"
#include "transfer_deadline.h"
#include "win32/winsock.h"

namespace kvr7x::rfc2217 {

namespace {

SocketHandle tryAddress(const addrinfo *ai, DeadlineClock::time_point until, uint32_t &code) {
    const SOCKET s = ::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    if (s == INVALID_SOCKET) {
        code = connectFailure(WSAGetLastError());
        return kNoSocket;
    }
    auto fail = [&](uint32_t why) {
        ::closesocket(s);
        code = why;
        return kNoSocket;
    };
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0)
        return fail(connectFailure(WSAGetLastError()));
    if (::connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen)) != 0) {
        const int err = WSAGetLastError();
        if (err != WSAEWOULDBLOCK && err != WSAEINPROGRESS) return fail(connectFailure(err));
        for (;;) {
            const int wait = msUntil(DeadlineClock::now(), until);
            if (wait == 0) return fail(kErrConnectTimeout);
            WSAPOLLFD p{s, POLLWRNORM, 0};
            const int pr = WSAPoll(&p, 1, wait);
            if (pr == 0) continue;  // re-check the time left
            int soError = 0;
            int len = sizeof soError;
            if (pr == SOCKET_ERROR || ::getsockopt(s, SOL_SOCKET, SO_ERROR,
                                                   reinterpret_cast<char *>(&soError), &len) != 0)
                soError = WSAGetLastError();
            if (soError != 0) return fail(connectFailure(soError));
            break;
        }
    }
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&one), sizeof one);
    return static_cast<SocketHandle>(s);
}

}  // namespace

SocketHandle connectTcp(const std::string &host, uint16_t port, std::chrono::milliseconds limit) {
    const auto until = DeadlineClock::now() + limit;
    if (!winsockReady()) {
        setLastError(kErrBadNetPath);
        return kNoSocket;
    }
    const AddressList list(host, port);
    if (list.empty()) {
        setLastError(kErrBadNetPath);
        return kNoSocket;
    }
    uint32_t code = kErrBadNetPath;
    SocketHandle s = kNoSocket;
    for (const addrinfo *ai = list.first(); ai != nullptr && s == kNoSocket; ai = ai->ai_next) {
        s = tryAddress(ai, until, code);
        if (s == kNoSocket && code == kErrConnectTimeout) break;
    }
    if (s == kNoSocket) setLastError(code);
    return s;
}

}  // namespace kvr7x::rfc2217
