#include "cutting_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <deque>
#include <list>
#include <optional>
#include <utility>
#include <set>
#include <stdexcept>
#include <vector>

namespace kvr::testing {

namespace {

// The value of key in a "key=value ..." connection string.
std::string valueOf(const std::string &conninfo, const std::string &key) {
    const std::size_t at = conninfo.find(key + "=");
    if (at == std::string::npos) return {};
    const std::size_t start = at + key.size() + 1;
    return conninfo.substr(start, conninfo.find(' ', start) - start);
}

bool startsWith(const std::string &text, const char *prefix) {
    const std::size_t n = std::strlen(prefix);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

bool sendAll(int fd, const char *data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::uint32_t lengthAt(const std::string &buffer, std::size_t at) {
    const auto *b = reinterpret_cast<const unsigned char *>(buffer.data() + at);
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
}

using Clock = std::chrono::steady_clock;

// Bytes held back until their time: then passed on, and the connection
// closed after them when so marked.
struct Held {
    Clock::time_point due;
    std::string bytes;
    bool closeAfter = false;
};

// One client's connection and the server's end of it.
struct Pair {
    int client = -1;
    int server = -1;
    bool started = false;  // the start-up message has passed
    std::string pending;   // the client's bytes not yet passed on
    std::set<std::string> insertStatements;
    bool insertRunning = false;  // a prepared INSERT is bound, its Sync to come
    bool open = true;
    Clock::time_point readFrom;  // the client is read from then on (the handshake)
    bool answered = true;        // the client has received since it last sent
    bool serverDone = false;     // the server closed its end
    std::deque<Held> toServer, toClient;

    void close() {
        if (client >= 0) ::close(client);
        if (server >= 0) ::close(server);
        client = server = -1;
        open = false;
    }
};

// Passes on what is due; false when the pair closed.
bool passDue(Pair &p, Clock::time_point now) {
    for (auto [queue, fd] : {std::pair{&p.toServer, p.server}, std::pair{&p.toClient, p.client}}) {
        while (p.open && !queue->empty() && queue->front().due <= now) {
            const Held held = std::move(queue->front());
            queue->pop_front();
            if ((!held.bytes.empty() && !sendAll(fd, held.bytes.data(), held.bytes.size())) || held.closeAfter)
                p.close();
            else if (fd == p.client)
                p.answered = true;
        }
    }
    return p.open;
}

}  // namespace

std::string serverSocketOf(const std::string &conninfo) {
    return valueOf(conninfo, "host") + "/.s.PGSQL." + valueOf(conninfo, "port");
}

std::string databaseNameOf(const std::string &conninfo) { return valueOf(conninfo, "dbname"); }

CuttingProxy::CuttingProxy(std::string socketPath, std::chrono::milliseconds delay)
    : socketPath_(std::move(socketPath)), delay_(delay) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0 || ::pipe(wake_) != 0)
        throw std::runtime_error("the proxy cannot listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

CuttingProxy::~CuttingProxy() {
    const char stop = 's';
    if (::write(wake_[1], &stop, 1) != 1) {
        // The thread then ends with the pipe's closing below.
    }
    thread_.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

std::string CuttingProxy::conninfo(const std::string &database) const {
    return "host=127.0.0.1 port=" + std::to_string(port_) + " user=kvr dbname=" + database +
           " sslmode=disable gssencmode=disable";
}

void CuttingProxy::arm(Cut cut, int skip) {
    skip_ = skip;
    cut_ = cut;
}

void CuttingProxy::run() {
    std::list<Pair> pairs;
    for (;;) {
        Clock::time_point now = Clock::now();
        for (Pair &p : pairs) passDue(p, now);
        pairs.remove_if([](const Pair &p) { return !p.open; });
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        std::optional<Clock::time_point> wakeAt;
        const auto wakeBy = [&wakeAt](Clock::time_point t) { wakeAt = wakeAt ? std::min(*wakeAt, t) : t; };
        for (const Pair &p : pairs) {
            const bool readable = p.readFrom <= now;
            if (!readable) wakeBy(p.readFrom);
            if (!p.toServer.empty()) wakeBy(p.toServer.front().due);
            if (!p.toClient.empty()) wakeBy(p.toClient.front().due);
            fds.push_back({readable ? p.client : -1, POLLIN, 0});
            fds.push_back({p.serverDone ? -1 : p.server, POLLIN, 0});
        }
        const int timeout = wakeAt ? static_cast<int>(std::max<long long>(
                                         0, std::chrono::ceil<std::chrono::milliseconds>(*wakeAt - now).count()))
                                   : -1;
        if (::poll(fds.data(), fds.size(), timeout) < 0) continue;
        if (fds[0].revents) break;
        now = Clock::now();
        if (fds[1].revents & POLLIN) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, socketPath_.c_str(), sizeof address.sun_path - 1);
            Pair &p = pairs.emplace_back();
            p.client = client;
            p.server = server;
            p.readFrom = now + 2 * delay_;
            ++roundTrips_;  // the handshake
            if (client < 0 || server < 0 ||
                ::connect(server, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
                p.close();
        }
        std::size_t i = 2;
        for (Pair &p : pairs) {
            if (i == fds.size()) break;  // a pair accepted just now waits for the next poll
            const short fromClient = fds[i++].revents, fromServer = fds[i++].revents;
            if (!p.open) continue;
            char buffer[65536];
            if (fromServer) {
                const ssize_t n = ::recv(p.server, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    p.toClient.push_back({now + delay_, {}, true});
                    p.serverDone = true;
                    continue;
                }
                p.toClient.push_back({now + delay_, std::string(buffer, static_cast<std::size_t>(n))});
            }
            if (!fromClient) continue;
            const ssize_t n = ::recv(p.client, buffer, sizeof buffer, 0);
            if (n <= 0) {
                p.toServer.push_back({now + delay_, {}, true});
                p.readFrom = Clock::time_point::max();
                continue;
            }
            p.pending.append(buffer, static_cast<std::size_t>(n));
            // Passes on every whole message, looking at each.
            for (;;) {
                const std::size_t head = p.started ? 1 : 0;
                if (p.pending.size() < head + 4) break;
                const std::size_t size = head + lengthAt(p.pending, head);
                if (p.pending.size() < size) break;
                const std::string message = p.pending.substr(0, size);
                p.pending.erase(0, size);
                // A request after an answer; the Terminate that ends a
                // connection waits for nothing.
                if (p.answered && !(p.started && message[0] == 'X')) ++roundTrips_;
                p.answered = false;
                if (p.started && message[0] == 'Q' && cut_ == Cut::BeforeLockWait &&
                    message.find("SET LOCAL lock_timeout") != std::string::npos && skip_-- == 0) {
                    cut_ = Cut::None;
                    ++cuts_;
                    p.toServer.push_back({now + delay_, {}, true});
                    p.readFrom = Clock::time_point::max();
                    break;
                }
                p.toServer.push_back({now + delay_, message});
                const char type = p.started ? message[0] : '\0';
                // The start-up message; an SSL or encryption request would
                // be answered "N" by the server and followed by another.
                if (!p.started) {
                    p.started = lengthAt(message, 4) >> 16 == 3;
                    continue;
                }
                const std::string body = message.substr(5);
                bool cutHere = false;
                const Cut armed = cut_;
                if (type == 'Q' && armed == Cut::AfterCommit && startsWith(body, "COMMIT")) cutHere = true;
                if (type == 'Q' && armed == Cut::AfterInsert && startsWith(body, "INSERT")) cutHere = true;
                if (type == 'P') {
                    const std::string name = body.c_str();
                    const std::string query = body.c_str() + name.size() + 1;
                    if (startsWith(query, "INSERT"))
                        p.insertStatements.insert(name);
                    else
                        p.insertStatements.erase(name);
                }
                if (type == 'B') {
                    const std::string portal = body.c_str();
                    p.insertRunning = p.insertStatements.count(body.c_str() + portal.size() + 1) > 0;
                }
                if (type == 'S' && armed == Cut::AfterInsert && p.insertRunning) cutHere = true;
                if (type == 'S') p.insertRunning = false;
                if (cutHere && skip_-- == 0) {
                    cut_ = Cut::None;
                    ++cuts_;
                    p.toServer.back().closeAfter = true;
                    p.readFrom = Clock::time_point::max();
                    break;
                }
            }
        }
        // With no delay, what arrived goes on at once.
        now = Clock::now();
        for (Pair &p : pairs) passDue(p, now);
    }
    for (Pair &p : pairs) p.close();
}

}  // namespace kvr::testing
