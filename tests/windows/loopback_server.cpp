#include "loopback_server.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace kvr7x::wintest {

LoopbackServer::LoopbackServer(Script script) {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("no Winsock");
    listen_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listen_ == INVALID_SOCKET || ::bind(listen_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(listen_, 4) != 0)
        throw std::runtime_error("test server cannot listen");
    int len = sizeof addr;
    ::getsockname(listen_, reinterpret_cast<sockaddr *>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this, script = std::move(script)] {
        WSAPOLLFD p{listen_, POLLRDNORM, 0};
        if (WSAPoll(&p, 1, 10000) <= 0) return;
        const SOCKET client = ::accept(listen_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        script(client);
        ::closesocket(client);
    });
}

LoopbackServer::~LoopbackServer() {
    if (thread_.joinable()) thread_.join();
    ::closesocket(listen_);
    WSACleanup();
}

void LoopbackServer::send(SOCKET s, const std::vector<uint8_t> &bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const int k =
            ::send(s, reinterpret_cast<const char *>(bytes.data() + sent), static_cast<int>(bytes.size() - sent), 0);
        if (k <= 0) return;
        sent += static_cast<size_t>(k);
    }
}

bool LoopbackServer::receiveUntil(SOCKET s, const std::vector<uint8_t> &pattern, long limitMs) {
    std::vector<uint8_t> all;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        if (std::search(all.begin(), all.end(), pattern.begin(), pattern.end()) != all.end()) return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        WSAPOLLFD p{s, POLLRDNORM, 0};
        if (WSAPoll(&p, 1, static_cast<int>(left)) <= 0) continue;
        char buf[1024];
        const int n = ::recv(s, buf, sizeof buf, 0);
        if (n <= 0) return false;
        all.insert(all.end(), buf, buf + n);
    }
}

}  // namespace kvr7x::wintest
