// The races of the network serial port on Winsock, made to come out one way
// through the port's seams: stray bytes the receive thread holds at a purge,
// and a reply that comes after its time-out while the next call is under way.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <vector>

#include "loopback_server.h"
#include "rfc2217/rfc2217_port.h"
#include "thread_gate.h"
#include "transaction.h"
#include "wine_test_support.h"

namespace kvr7x::wintest {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

TEST(WindowsNetworkPort, StrayBytesTheReceiveThreadHoldsAtAPurgeAreDroppedByIt) {
    const Bytes header = {0x20, 0x00, 0xB0, 0x00, 0x00, 0x02};
    auto gate = std::make_shared<test::ThreadGate>();
    std::promise<void> sendStray;
    std::promise<bool> headerSeen;
    std::promise<void> done;
    LoopbackServer server([&](SOCKET s) {
        LoopbackServer::agree(s);
        if (sendStray.get_future().wait_for(10s) != std::future_status::ready) return;
        LoopbackServer::send(s, {0x00, 0x90, 0x00, 0x00, 0x00, 0x90});
        const bool seen = LoopbackServer::receiveUntil(s, header, 5000);
        gate->open();  // the call has purged and sent
        if (seen) LoopbackServer::send(s, {0x00, 0x6A, 0x82, 0x02, 0x12, 0x34});
        headerSeen.set_value(seen);
        done.get_future().wait_for(10s);
    });
    Rfc2217Seams seams;
    seams.receiveThreadHasBytes = [gate] { gate->pass(); };
    auto port = openRfc2217Port(server.hostPort(), seams);
    ASSERT_TRUE(port);
    test::GateOpener opener(gate);
    ASSERT_TRUE(port->setTimeouts(kBaseTimeouts));
    gate->arm();
    sendStray.set_value();
    ASSERT_TRUE(gate->waitArrived()) << "the receive thread never saw the stray bytes";

    uint8_t data[2] = {0xEE, 0xEE};
    uint8_t sw1 = 0, sw2 = 0;
    int32_t len = -1;
    EXPECT_EQ(sendCommand(*port, 0x20, 0x00, 0xB0, 0x00, 0x00, 0x02, data, &sw1, &sw2, &len, 1000), 0);
    EXPECT_TRUE(headerSeen.get_future().get());
    EXPECT_EQ(sw1, 0x6A);
    EXPECT_EQ(sw2, 0x82);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(Bytes(data, data + 2), (Bytes{0x12, 0x34}));
    done.set_value();
}

TEST(WindowsNetworkPort, AReplyThatComesAfterItsTimeOutIsNotTakenForTheNextOne) {
    const Bytes first = {0x20, 0x00, 0xB0, 0x00, 0x00, 0x01};
    const Bytes second = {0x20, 0x00, 0xB0, 0x00, 0x00, 0x02};
    std::atomic<SOCKET> client{INVALID_SOCKET};
    std::promise<void> lateSent;
    std::promise<bool> bothSeen;
    std::promise<void> done;
    LoopbackServer server([&](SOCKET s) {
        LoopbackServer::agree(s);
        client = s;
        const bool seen = LoopbackServer::receiveUntil(s, first, 5000) && LoopbackServer::receiveUntil(s, second, 5000);
        if (seen && lateSent.get_future().wait_for(10s) == std::future_status::ready)
            LoopbackServer::send(s, {0x00, 0x6A, 0x82, 0x02, 0x12, 0x34});
        bothSeen.set_value(seen);
        done.get_future().wait_for(10s);
    });
    std::atomic<bool> armed{false};
    Rfc2217Seams seams;
    seams.readBegins = [&] {
        if (!armed.exchange(false)) return;
        // The first command's reply, one data byte where two are asked for now.
        LoopbackServer::send(client, {0x00, 0x90, 0x00, 0x01, 0x77});
        lateSent.set_value();
    };
    auto port = openRfc2217Port(server.hostPort(), seams);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->setTimeouts(kBaseTimeouts));
    uint8_t data[2] = {0xEE, 0xEE};
    EXPECT_EQ(sendCommand(*port, 0x20, 0x00, 0xB0, 0x00, 0x00, 0x01, data, nullptr, nullptr, nullptr, 20),
              KVR7X_NO_ANSWER);
    armed = true;
    uint8_t sw1 = 0, sw2 = 0;
    int32_t len = -1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sendCommand(*port, 0x20, 0x00, 0xB0, 0x00, 0x00, 0x02, data, &sw1, &sw2, &len, 1000), 0);
    const long took = msSince(start);
    EXPECT_TRUE(bothSeen.get_future().get());
    EXPECT_EQ(sw1, 0x6A);
    EXPECT_EQ(sw2, 0x82);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(Bytes(data, data + 2), (Bytes{0x12, 0x34}));
    // The drain took the late reply in its first quiet interval and
    // found the second quiet.
    EXPECT_GE(took, 2 * kSettleQuiet.count());
    EXPECT_LT(took, 3 * 2 * kSettleQuiet.count());
    done.set_value();
}

}  // namespace
}  // namespace kvr7x::wintest
