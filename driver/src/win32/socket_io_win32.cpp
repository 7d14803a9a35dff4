// The socket shell on Winsock.
#include <winsock2.h>

#include "rfc2217/socket_io.h"

namespace kvr7x::rfc2217 {

bool waitReadable(SocketHandle s, int ms) {
    WSAPOLLFD p{static_cast<SOCKET>(s), POLLRDNORM, 0};
    return WSAPoll(&p, 1, ms) != 0;
}

ptrdiff_t receiveWithin(SocketHandle s, uint8_t *buf, size_t n, int ms) {
    WSAPOLLFD p{static_cast<SOCKET>(s), POLLRDNORM, 0};
    const int r = WSAPoll(&p, 1, ms);
    if (r == SOCKET_ERROR) return -1;
    if (r == 0) return 0;
    const int k =
        ::recv(static_cast<SOCKET>(s), reinterpret_cast<char *>(buf), static_cast<int>(n), 0);
    if (k > 0) return k;
    if (k == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return 0;
    return -1;
}

ptrdiff_t sendSome(SocketHandle s, const uint8_t *bytes, size_t n) {
    const int k = ::send(static_cast<SOCKET>(s), reinterpret_cast<const char *>(bytes),
                         static_cast<int>(n), 0);
    if (k >= 0) return k;
    return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

bool waitWritable(SocketHandle s, int ms) {
    WSAPOLLFD p{static_cast<SOCKET>(s), POLLWRNORM, 0};
    return WSAPoll(&p, 1, ms) != SOCKET_ERROR;
}

void shutdownSocket(SocketHandle s) { ::shutdown(static_cast<SOCKET>(s), SD_BOTH); }

void closeSocket(SocketHandle s) { ::closesocket(static_cast<SOCKET>(s)); }

}  // namespace kvr7x::rfc2217
