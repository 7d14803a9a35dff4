#include "raw_server.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace kvr7x::test {

RawServer::RawServer(Script script) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 4) != 0)
        throw std::runtime_error("test server cannot listen");
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this, script = std::move(script)] {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) return;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        script(*this, fd);
        ::close(fd);
    });
}

RawServer::~RawServer() {
    if (thread_.joinable()) thread_.join();
    ::close(listenFd_);
}

void RawServer::send(int fd, const std::vector<uint8_t> &bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t k = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (k <= 0) return;
        sent += static_cast<size_t>(k);
    }
}

std::vector<uint8_t> RawServer::receive(int fd, std::chrono::milliseconds limit, size_t want) {
    std::vector<uint8_t> got;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (want == 0 || got.size() < want) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        uint8_t buf[1024];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

bool RawServer::receiveUntil(int fd, const std::vector<uint8_t> &pattern, std::chrono::milliseconds limit,
                             std::vector<uint8_t> *seen) {
    std::vector<uint8_t> all;
    const auto until = std::chrono::steady_clock::now() + limit;
    bool found = false;
    while (!found && std::chrono::steady_clock::now() < until) {
        const std::vector<uint8_t> got = receive(fd, std::chrono::milliseconds(20));
        all.insert(all.end(), got.begin(), got.end());
        found = std::search(all.begin(), all.end(), pattern.begin(), pattern.end()) != all.end();
    }
    if (seen) *seen = std::move(all);
    return found;
}

void RawServer::agree(int fd) { send(fd, {255, 253, 44}); }

}  // namespace kvr7x::test
