// A bare TCP server on Winsock for the faults a well-behaved network serial
// port never produces: it accepts one client on 127.0.0.1 and runs a script
// on the raw socket, in a thread of its own.
#ifndef KVR7X_TESTS_WINDOWS_LOOPBACK_SERVER_H
#define KVR7X_TESTS_WINDOWS_LOOPBACK_SERVER_H

#include <winsock2.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kvr7x::wintest {

class LoopbackServer {
public:
    using Script = std::function<void(SOCKET client)>;

    // Listens at a port the system chooses; the script runs on the first
    // client.  The destructor waits for the script to end.
    explicit LoopbackServer(Script script);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer &) = delete;
    LoopbackServer &operator=(const LoopbackServer &) = delete;

    std::string hostPort() const { return "127.0.0.1:" + std::to_string(port_); }

    static void send(SOCKET s, const std::vector<uint8_t> &bytes);
    // Reads until `pattern` has come (true), the stream ends or `limitMs`
    // passes.
    static bool receiveUntil(SOCKET s, const std::vector<uint8_t> &pattern, long limitMs);
    // The server half of the telnet greeting: agrees to the COM-PORT option.
    static void agree(SOCKET s) { send(s, {255, 253, 44}); }

private:
    SOCKET listen_ = INVALID_SOCKET;
    uint16_t port_ = 0;
    std::thread thread_;
};

}  // namespace kvr7x::wintest

#endif
