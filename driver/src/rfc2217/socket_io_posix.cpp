// The socket shell on POSIX sockets.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "rfc2217/socket_io.h"

namespace kvr7x::rfc2217 {

bool waitReadable(SocketHandle s, int ms) {
    pollfd p{s, POLLIN, 0};
    return ::poll(&p, 1, ms) != 0;
}

ptrdiff_t receiveWithin(SocketHandle s, uint8_t *buf, size_t n, int ms) {
    // Without a wait one recv tells all; with one, poll first, so that a
    // reply that is not there yet costs no failed recv.
    if (ms != 0) {
        pollfd p{s, POLLIN, 0};
        const int r = ::poll(&p, 1, ms);
        if (r == 0 || (r < 0 && errno == EINTR)) return 0;
        if (r < 0) return -1;
    }
    const ssize_t k = ::recv(s, buf, n, MSG_DONTWAIT);
    if (k > 0) return k;
    if (k == 0) return -1;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

ptrdiff_t sendSome(SocketHandle s, const uint8_t *bytes, size_t n) {
    for (;;) {
        const ssize_t k = ::send(s, bytes, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (k >= 0) return k;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1;
    }
}

bool waitWritable(SocketHandle s, int ms) {
    pollfd p{s, POLLOUT, 0};
    return ::poll(&p, 1, ms) >= 0 || errno == EINTR;
}

void shutdownSocket(SocketHandle s) { ::shutdown(s, SHUT_RDWR); }

void closeSocket(SocketHandle s) { ::close(s); }

}  // namespace kvr7x::rfc2217
