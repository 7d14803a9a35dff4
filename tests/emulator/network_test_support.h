// Helpers shared by the network tests: elapsed time, an emulator on a free
// loopback port, and whether the loopback connections to a port have
// delivered everything sent on them.
#ifndef KVR7X_NETWORK_TEST_SUPPORT_H
#define KVR7X_NETWORK_TEST_SUPPORT_H

#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "emulator.h"

namespace kvr7x::test {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

inline std::unique_ptr<emu::Emulator> startEmulator(emu::Config config = {}) {
    config.port = 0;
    auto emulator = std::make_unique<emu::Emulator>(std::move(config));
    std::string error;
    EXPECT_TRUE(emulator->start(error)) << error;
    return emulator;
}

// An IPv4 TCP socket of this machine as the kernel lists it in
// /proc/net/tcp: its ports, its state (1 established, 0A listening, ...)
// and the bytes in its queues (sent and not acknowledged, received and not
// read).
struct TcpSocket {
    unsigned long localPort = 0, remotePort = 0;
    std::string state;
    unsigned long txQueue = 0, rxQueue = 0;
};

// The sockets on either end of connections to or from local port `port`;
// listening sockets are left out.
inline std::vector<TcpSocket> connectionsOf(uint16_t port) {
    std::ifstream in("/proc/net/tcp");
    std::string line;
    std::getline(in, line);  // the column names
    std::vector<TcpSocket> found;
    auto portOf = [](const std::string &address) {
        return std::stoul(address.substr(address.find(':') + 1), nullptr, 16);
    };
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues;
        if (!(fields >> slot >> local >> remote >> state >> queues) || state == "0A") continue;
        TcpSocket s{portOf(local), portOf(remote), state};
        if (s.localPort != port && s.remotePort != port) continue;
        const size_t colon = queues.find(':');
        s.txQueue = std::stoul(queues.substr(0, colon), nullptr, 16);
        s.rxQueue = std::stoul(queues.substr(colon + 1), nullptr, 16);
        found.push_back(s);
    }
    return found;
}

// Bytes sent on the connections of `port` that the far end has not yet
// acknowledged or its program not yet read: 0 when everything sent has been
// taken in at the other end.
inline unsigned long loopbackBacklog(uint16_t port) {
    unsigned long backlog = 0;
    for (const TcpSocket &s : connectionsOf(port)) backlog += s.txQueue + s.rxQueue;
    return backlog;
}

}  // namespace kvr7x::test

#endif
