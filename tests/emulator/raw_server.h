// A bare TCP server for the faults a well-behaved network serial port never
// produces: it accepts one client and runs a script on the raw socket.
#ifndef KVR7X_TESTS_RAW_SERVER_H
#define KVR7X_TESTS_RAW_SERVER_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kvr7x::test {

class RawServer {
public:
    using Script = std::function<void(RawServer &server, int fd)>;

    // Listens on 127.0.0.1 at a free port; the script runs on the first
    // client in a thread of its own.
    explicit RawServer(Script script);
    ~RawServer();

    uint16_t port() const { return port_; }
    std::string hostPort() const { return "127.0.0.1:" + std::to_string(port_); }

    // Helpers for scripts.
    static void send(int fd, const std::vector<uint8_t> &bytes);
    // Reads what arrives within `limit` (returns early once `want` bytes are
    // in, when want > 0).  Stops at end of stream.
    static std::vector<uint8_t> receive(int fd, std::chrono::milliseconds limit, size_t want = 0);
    // Reads until `pattern` has come (true), the stream ends or `limit`
    // passes; everything read goes to `seen`.
    static bool receiveUntil(int fd, const std::vector<uint8_t> &pattern, std::chrono::milliseconds limit,
                             std::vector<uint8_t> *seen = nullptr);
    // The server half of the telnet greeting: agrees to the COM-PORT option.
    static void agree(int fd);

private:
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

}  // namespace kvr7x::test

#endif
