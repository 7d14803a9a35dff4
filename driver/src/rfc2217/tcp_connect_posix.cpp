#include "rfc2217/tcp_connect.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "common/unique_fd.h"
#include "rfc2217/address_list.h"
#include "serial_port.h"
#include "transfer_deadline.h"

namespace kvr7x::rfc2217 {

namespace {

uint32_t codeForErrno(int err) {
    switch (err) {
    case ETIMEDOUT: return kErrConnectTimeout;
    case EACCES:
    case EPERM: return kErrAccessDenied;
    default: return kErrBadNetPath;
    }
}

// One connection attempt to one address; -1 with errno-derived code in `code`.
int tryAddress(const addrinfo *ai, DeadlineClock::time_point until, uint32_t &code) {
    kvr::common::UniqueFd socket(
        ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol));
    if (!socket) {
        code = codeForErrno(errno);
        return -1;
    }
    const int fd = socket.get();
    int rc = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
        for (;;) {
            pollfd p{fd, POLLOUT, 0};
            const int wait = msUntil(DeadlineClock::now(), until);
            if (wait == 0) {
                code = kErrConnectTimeout;
                return -1;
            }
            const int pr = ::poll(&p, 1, wait);
            if (pr < 0 && errno == EINTR) continue;
            if (pr == 0) continue;  // re-check the time left
            int soError = 0;
            socklen_t len = sizeof soError;
            if (pr < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0)
                soError = errno;
            if (soError != 0) {
                code = codeForErrno(soError);
                return -1;
            }
            rc = 0;
            break;
        }
    }
    if (rc != 0) {
        code = codeForErrno(errno);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // Blocking from now on; no read or send waits in recv or send itself:
    // the port polls first, and its reads and sends never wait
    // (MSG_DONTWAIT).
    ::fcntl(socket.get(), F_SETFL, ::fcntl(socket.get(), F_GETFL) & ~O_NONBLOCK);
    return socket.release();
}

}  // namespace

int connectTcp(const std::string &host, uint16_t port, std::chrono::milliseconds limit) {
    const auto until = DeadlineClock::now() + limit;
    const AddressList list(host, port);
    if (list.empty()) {
        setLastError(kErrBadNetPath);
        return -1;
    }
    uint32_t code = kErrBadNetPath;
    int fd = -1;
    for (const addrinfo *ai = list.first(); ai != nullptr && fd < 0; ai = ai->ai_next) {
        fd = tryAddress(ai, until, code);
        if (fd < 0 && code == kErrConnectTimeout) break;
    }
    if (fd < 0) setLastError(code);
    return fd;
}

}  // namespace kvr7x::rfc2217
