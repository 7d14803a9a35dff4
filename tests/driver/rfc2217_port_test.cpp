// The network serial port against the emulator and against servers that
// misbehave on purpose.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "emulator.h"
#include "eventually.h"
#include "network_test_support.h"
#include "raw_server.h"
#include "rfc2217/rfc2217_port.h"
#include "rfc2217/tcp_connect.h"
#include "serial_port.h"
#include "thread_gate.h"
#include "transaction.h"

using namespace std::chrono_literals;
using kvr7x::SerialPort;
using kvr7x::Timeouts;
using kvr7x::test::RawServer;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using kvr7x::test::blockedSyscall;
using kvr7x::test::eventually;
using kvr7x::test::msSince;
using kvr7x::test::startEmulator;

namespace {

std::string hostPort(const kvr7x::emu::Emulator &emu) {
    return "127.0.0.1:" + std::to_string(emu.port());
}

// Names of the line events the emulator logged, in order.
std::vector<std::string> lineEvents(const kvr7x::emu::Emulator &emu) {
    std::vector<std::string> names;
    for (const auto &e : emu.log().entries())
        if (e.kind == kvr7x::emu::LogEntry::Kind::Line) names.push_back(e.what);
    return names;
}

uint16_t closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

}  // namespace

TEST(NetworkPort, OpeningSetsTheLineAndLeavesRtsLow) {
    auto emu = startEmulator();
    auto port = kvr7x::openRfc2217Port(hostPort(*emu));
    ASSERT_TRUE(port);
    // The modem state arrives once the option is agreed: card present,
    // powered.  The mask is the last thing the port sets.
    uint32_t bits = 0;
    eventually(
        [&] {
            return (port->modemStatus(bits) ? bits : 0u) ==
                   (kvr7x::kModemDsr | kvr7x::kModemRlsd | kvr7x::kModemCts);
        },
        2000ms);
    EXPECT_EQ(bits, kvr7x::kModemDsr | kvr7x::kModemRlsd | kvr7x::kModemCts);
    EXPECT_TRUE(emu->log().waitFor(
        [](const auto &log) {
            return std::any_of(log.begin(), log.end(),
                               [](const auto &e) { return e.what == "SET-MODEMSTATE-MASK 0xF2"; });
        },
        2000ms));

    const auto events = lineEvents(*emu);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "RTS off");
    for (const char *expected :
         {"DTR on", "SET-BAUDRATE 9600", "SET-DATASIZE 8", "SET-PARITY 1", "SET-STOPSIZE 1",
          "SET-CONTROL flow 1", "SET-MODEMSTATE-MASK 0xF2"})
        EXPECT_NE(std::find(events.begin(), events.end(), expected), events.end()) << expected;
    EXPECT_EQ(std::find(events.begin(), events.end(), "RTS on"), events.end());
    EXPECT_FALSE(emu->rts());
    EXPECT_TRUE(emu->dtr());
    EXPECT_EQ(emu->baudRate(), 9600u);

    // The RTS pulse travels as two commands and the reader answers it.
    const Timeouts t{1000, 10, 100, 10, 100};
    ASSERT_TRUE(port->setTimeouts(t));
    ASSERT_TRUE(port->setRts(true));
    ASSERT_TRUE(port->setRts(false));
    uint8_t head[3] = {};
    size_t got = 0;
    ASSERT_TRUE(port->read(head, 3, got));
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(head[0], 0x90);
    EXPECT_EQ(head[2], kvr7x::emu::defaultIdentification().size());
    EXPECT_TRUE(port->close());
    EXPECT_FALSE(port->close());
    EXPECT_EQ(kvr7x::lastError(), kvr7x::kErrInvalidHandle);
}

TEST(NetworkPort, LinesCountAsOffUntilTheServerReportsThem) {
    std::promise<void> done;
    RawServer server([&](RawServer &, int fd) {
        RawServer::agree(fd);
        done.get_future().wait_for(5s);
    });
    auto port = kvr7x::openRfc2217Port(server.hostPort());
    ASSERT_TRUE(port);
    uint32_t bits = 0xFFFF;
    EXPECT_TRUE(port->modemStatus(bits));
    EXPECT_EQ(bits, 0u);
    done.set_value();
}

TEST(NetworkPort, ATransactionsPurgesGoOutWithItsHeaderAsOnePurge) {
    std::promise<bool> seen;
    std::promise<void> done;
    RawServer server([&](RawServer &, int fd) {
        RawServer::agree(fd);
        // PURGE-DATA both queues, and the header right behind it.
        seen.set_value(RawServer::receiveUntil(
            fd, {255, 250, 44, 12, 3, 255, 240, 0x20, 0x00, 0x10, 0x00, 0x00, 0x00}, 3000ms));
        done.get_future().wait_for(5s);
    });
    auto port = kvr7x::openRfc2217Port(server.hostPort());
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->setTimeouts(kvr7x::kBaseTimeouts));
    EXPECT_EQ(kvr7x::sendCommand(*port, 0x20, 0x00, 0x10, 0x00, 0x00, 0x00, nullptr, nullptr,
                                 nullptr, nullptr, 20),
              KVR7X_NO_ANSWER);
    EXPECT_TRUE(seen.get_future().get());
    done.set_value();
}

TEST(NetworkPort, DoublesIacBothWays) {
    std::promise<Bytes> seen;
    RawServer server([&](RawServer &, int fd) {
        RawServer::agree(fd);
        // Data from the server: FF doubled on the wire, a command in between.
        RawServer::send(fd, {0xFF, 0xFF, 0x02, 255, 241, 0x03, 0xFF, 0xFF});
        Bytes in;
        RawServer::receiveUntil(fd, {0x11, 0xFF, 0xFF, 0x22, 0xFF, 0xFF}, 3000ms, &in);
        seen.set_value(in);
    });
    auto port = kvr7x::openRfc2217Port(server.hostPort());
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->setTimeouts({0, 0, 1000, 0, 1000}));
    uint8_t buf[4] = {};
    size_t got = 0;
    ASSERT_TRUE(port->read(buf, 4, got));
    EXPECT_EQ(Bytes(buf, buf + got), (Bytes{0xFF, 0x02, 0x03, 0xFF}));
    const Bytes out = {0x11, 0xFF, 0x22, 0xFF};
    size_t written = 0;
    ASSERT_TRUE(port->write(out.data(), out.size(), written));
    EXPECT_EQ(written, out.size());
    const Bytes in = seen.get_future().get();
    const Bytes wire = {0x11, 0xFF, 0xFF, 0x22, 0xFF, 0xFF};
    EXPECT_NE(std::search(in.begin(), in.end(), wire.begin(), wire.end()), in.end());
}

TEST(NetworkPort, AReplyInOneByteSegmentsComesWholeAndALineChangeAmongThemEndsADsrWait) {
    const Bytes header = {0x20, 0x00, 0x10, 0x00, 0x00, 0x00};
    // The lines as they stand at first (carrier, DSR, CTS), then DSR off.
    const Bytes linesAtFirst = {255, 250, 44, 107, 0xB0, 255, 240};
    const Bytes dsrOff = {255, 250, 44, 107, 0x92, 255, 240};
    // The second reply, 90 61 00 with the data FF 41 (FF doubled on the
    // wire), the line change between its bytes.
    Bytes slowReply = {0x90, 0x61};
    slowReply.insert(slowReply.end(), dsrOff.begin(), dsrOff.end());
    slowReply.insert(slowReply.end(), {0x00, 0x02, 0xFF, 0xFF, 0x41});
    std::promise<void> done;
    RawServer server([&](RawServer &, int fd) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        RawServer::agree(fd);
        RawServer::send(fd, linesAtFirst);
        // The first exchange makes the port's user the one that reads its
        // socket; the second reply comes a byte a segment.
        if (!RawServer::receiveUntil(fd, header, 3000ms)) return;
        RawServer::send(fd, {0x90, 0x00, 0x00, 0x00});
        if (!RawServer::receiveUntil(fd, header, 3000ms)) return;
        for (const uint8_t b : slowReply) {
            RawServer::send(fd, {b});
            std::this_thread::sleep_for(1ms);
        }
        done.get_future().wait_for(5s);
    });
    auto port = kvr7x::openRfc2217Port(server.hostPort());
    ASSERT_TRUE(port);
    uint32_t bits = 0;
    ASSERT_TRUE(
        eventually([&] { return port->modemStatus(bits) && (bits & kvr7x::kModemDsr) != 0; }));
    ASSERT_TRUE(port->setTimeouts(kvr7x::kBaseTimeouts));
    ASSERT_TRUE(port->watchDsr());
    std::atomic<pid_t> tid{0};
    auto waiter = std::async(std::launch::async, [&] {
        tid = ::gettid();
        return port->waitDsrChange();
    });
    ASSERT_TRUE(eventually([&] { return tid != 0 && blockedSyscall(tid) == SYS_futex; }));

    uint8_t data[256] = {};
    uint8_t sw1 = 0, sw2 = 0;
    int32_t len = -1;
    EXPECT_EQ(
        kvr7x::sendCommand(*port, 0x20, 0x00, 0x10, 0x00, 0x00, 0x00, data, &sw1, &sw2, &len, 2000),
        0x90);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(
        kvr7x::sendCommand(*port, 0x20, 0x00, 0x10, 0x00, 0x00, 0x00, data, &sw1, &sw2, &len, 2000),
        0x90);
    EXPECT_EQ(sw1, 0x61);
    EXPECT_EQ(sw2, 0x00);
    ASSERT_EQ(len, 2);
    EXPECT_EQ(Bytes(data, data + 2), (Bytes{0xFF, 0x41}));
    ASSERT_EQ(waiter.wait_for(2s), std::future_status::ready);
    EXPECT_TRUE(waiter.get());
    EXPECT_TRUE(port->modemStatus(bits));
    EXPECT_EQ(bits, kvr7x::kModemRlsd | kvr7x::kModemCts);
    done.set_value();
    EXPECT_TRUE(port->close());
}

// The receive thread takes stray bytes off the socket just before a call
// and is held there, bytes in hand, while the call purges and sends; the
// server answers the call only then.  The purge drops the stray bytes, so
// the call gets its own reply and never the stray "00 90 00 00".
TEST(NetworkPort, StrayBytesTheReceiveThreadHoldsAtAPurgeAreDroppedByIt) {
    const Bytes stray = {0x00, 0x90, 0x00, 0x00, 0x00, 0x90};
    const Bytes header = {0x20, 0x00, 0xB0, 0x00, 0x00, 0x02};
    auto gate = std::make_shared<kvr7x::test::ThreadGate>();
    std::promise<void> sendStray;
    std::promise<bool> headerSeen;
    std::promise<void> done;
    RawServer server([&](RawServer &, int fd) {
        RawServer::agree(fd);
        if (sendStray.get_future().wait_for(10s) != std::future_status::ready) return;
        RawServer::send(fd, stray);
        const bool seen = RawServer::receiveUntil(fd, header, 5000ms);
        // The call has purged and sent: the receive thread may go on.
        gate->open();
        if (seen) RawServer::send(fd, {0x00, 0x6A, 0x82, 0x02, 0x12, 0x34});
        headerSeen.set_value(seen);
        done.get_future().wait_for(10s);
    });
    kvr7x::Rfc2217Seams seams;
    seams.receiveThreadHasBytes = [gate] { gate->pass(); };
    auto port = kvr7x::openRfc2217Port(server.hostPort(), seams);
    ASSERT_TRUE(port);
    kvr7x::test::GateOpener opener(gate);
    ASSERT_TRUE(port->setTimeouts(kvr7x::kBaseTimeouts));
    gate->arm();
    sendStray.set_value();
    ASSERT_TRUE(gate->waitArrived()) << "the receive thread never saw the stray bytes";

    uint8_t data[2] = {0xEE, 0xEE};
    uint8_t sw1 = 0, sw2 = 0;
    int32_t len = -1;
    EXPECT_EQ(
        kvr7x::sendCommand(*port, 0x20, 0x00, 0xB0, 0x00, 0x00, 0x02, data, &sw1, &sw2, &len, 1000),
        0);
    EXPECT_TRUE(headerSeen.get_future().get());
    EXPECT_EQ(sw1, 0x6A);
    EXPECT_EQ(sw2, 0x82);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(Bytes(data, data + 2), (Bytes{0x12, 0x34}));
    done.set_value();
}

// The reply to a command that timed out comes once the next call is under
// way: the seam sends it from the server the moment the next call's first
// read begins, and the server answers that call only after it.  The call
// drains the line before it sends, so it gets its own reply.
TEST(NetworkPort, AReplyThatComesAfterItsTimeOutIsNotTakenForTheNextOne) {
    const Bytes first = {0x20, 0x00, 0xB0, 0x00, 0x00, 0x01};
    const Bytes second = {0x20, 0x00, 0xB0, 0x00, 0x00, 0x02};
    std::atomic<int> serverFd{-1};
    std::promise<void> lateSent;
    std::promise<bool> bothSeen;
    std::promise<void> done;
    RawServer server([&](RawServer &, int fd) {
        RawServer::agree(fd);
        serverFd = fd;
        const bool seen = RawServer::receiveUntil(fd, first, 5000ms) &&
                          RawServer::receiveUntil(fd, second, 5000ms);
        if (seen && lateSent.get_future().wait_for(10s) == std::future_status::ready)
            RawServer::send(fd, {0x00, 0x6A, 0x82, 0x02, 0x12, 0x34});
        bothSeen.set_value(seen);
        done.get_future().wait_for(10s);
    });
    std::atomic<bool> armed{false};
    kvr7x::Rfc2217Seams seams;
    seams.readBegins = [&] {
        if (!armed.exchange(false)) return;
        // The reply to the first command, one byte where two are asked for now.
        RawServer::send(serverFd, {0x00, 0x90, 0x00, 0x01, 0x77});
        lateSent.set_value();
    };
    auto port = kvr7x::openRfc2217Port(server.hostPort(), seams);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->setTimeouts(kvr7x::kBaseTimeouts));
    uint8_t data[2] = {0xEE, 0xEE};
    EXPECT_EQ(kvr7x::sendCommand(*port, 0x20, 0x00, 0xB0, 0x00, 0x00, 0x01, data, nullptr, nullptr,
                                 nullptr, 20),
              KVR7X_NO_ANSWER);
    armed = true;
    uint8_t sw1 = 0, sw2 = 0;
    int32_t len = -1;
    const auto start = Clock::now();
    EXPECT_EQ(
        kvr7x::sendCommand(*port, 0x20, 0x00, 0xB0, 0x00, 0x00, 0x02, data, &sw1, &sw2, &len, 1000),
        0);
    const double took = msSince(start);
    EXPECT_TRUE(bothSeen.get_future().get());
    EXPECT_EQ(sw1, 0x6A);
    EXPECT_EQ(sw2, 0x82);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(Bytes(data, data + 2), (Bytes{0x12, 0x34}));
    // The drain took the late reply in its first quiet interval and
    // found the second quiet.
    const auto drain = 2.0 * static_cast<double>(kvr7x::kSettleQuiet.count());
    EXPECT_GE(took, drain);
    EXPECT_LT(took, 3.0 * drain);
    done.set_value();
}

TEST(NetworkPort, ReadTimeoutsFollowTheSerialRules) {
    std::promise<void> go;
    std::promise<void> done;
    RawServer server([&](RawServer &, int fd) {
        RawServer::agree(fd);
        go.get_future().wait_for(5s);
        RawServer::send(fd, {0x41});  // one byte, then nothing
        done.get_future().wait_for(5s);
    });
    auto port = kvr7x::openRfc2217Port(server.hostPort());
    ASSERT_TRUE(port);
    uint8_t buf[8];
    size_t got = 99;

    // Nothing comes: 10 ms a byte times 4, plus 100.
    ASSERT_TRUE(port->setTimeouts({1000, 10, 100, 10, 100}));
    auto t0 = Clock::now();
    kvr7x::setLastError(77);
    ASSERT_TRUE(port->read(buf, 4, got));
    double ms = msSince(t0);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(kvr7x::lastError(), kvr7x::kErrTimeout);
    EXPECT_GE(ms, 135.0);
    EXPECT_LT(ms, 400.0);

    // One byte, then a gap: the read ends one interval after that byte.
    ASSERT_TRUE(port->setTimeouts({60, 0, 0, 0, 0}));
    t0 = Clock::now();
    go.set_value();
    ASSERT_TRUE(port->read(buf, 4, got));
    ms = msSince(t0);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(buf[0], 0x41);
    EXPECT_GE(ms, 55.0);
    EXPECT_LT(ms, 400.0);

    // Return at once with what is there (else it would wait for ever).
    ASSERT_TRUE(port->setTimeouts({0xFFFFFFFF, 0, 0, 0, 0}));
    t0 = Clock::now();
    ASSERT_TRUE(port->read(buf, 4, got));
    EXPECT_EQ(got, 0u);
    EXPECT_LT(msSince(t0), 1000.0);
    done.set_value();
}

TEST(NetworkPort, ServerClosingMidReplyFailsTheReadAtOnce) {
    RawServer server([&](RawServer &, int fd) {
        RawServer::agree(fd);
        RawServer::receive(fd, 300ms);
        RawServer::send(fd, {0x00, 0x90});  // half a reply header
    });
    auto port = kvr7x::openRfc2217Port(server.hostPort());
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->setTimeouts({1000, 10, 3000, 10, 100}));
    uint8_t buf[4];
    size_t got = 0;
    const auto t0 = Clock::now();
    EXPECT_FALSE(port->read(buf, 4, got));
    EXPECT_LT(msSince(t0), 2000.0);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(kvr7x::lastError(), kvr7x::kErrNetNameDeleted);
    // Everything after fails the same way, without waiting.
    size_t written = 0;
    EXPECT_FALSE(port->write(buf, 4, written));
    uint32_t bits = 0;
    EXPECT_FALSE(port->modemStatus(bits));
    EXPECT_FALSE(port->setRts(true));
    EXPECT_TRUE(port->close());
}

TEST(NetworkPort, GarbageFromTheServerNeverStopsThePort) {
    RawServer server([&](RawServer &, int fd) {
        RawServer::agree(fd);
        Bytes junk;
        uint32_t x = 12345;
        for (int i = 0; i < 20000; ++i) {
            x = x * 1664525u + 1013904223u;
            const uint8_t b = static_cast<uint8_t>(x >> 24);
            junk.push_back(i % 7 == 0 ? 0xFF : b);  // plenty of IACs
        }
        // An endless subnegotiation, then an unterminated one, then data.
        junk.insert(junk.end(), {255, 250, 44, 107});
        junk.insert(junk.end(), 3000, 0x20);
        junk.insert(junk.end(), {255, 240, 255, 250, 44, 255, 251, 255, 255, 255, 250, 44});
        RawServer::send(fd, junk);
        RawServer::receive(fd, 500ms);
    });
    auto port = kvr7x::openRfc2217Port(server.hostPort());
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->setTimeouts({0, 0, 300, 0, 100}));
    std::vector<uint8_t> buf(100000);
    size_t got = 0;
    ASSERT_TRUE(port->read(buf.data(), buf.size(), got));
    EXPECT_GT(got, 0u);
    EXPECT_LT(got, 20000u);
    uint32_t bits = 0;
    (void)port->modemStatus(bits);  // whatever the junk said, the call returns
    EXPECT_TRUE(port->close());
}

TEST(NetworkPort, CloseEndsAWaitForDsr) {
    auto emu = startEmulator();
    auto port = kvr7x::openRfc2217Port(hostPort(*emu));
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->watchDsr());
    std::atomic<pid_t> tid{0};
    auto wait = [&] {
        tid = ::gettid();
        return port->waitDsrChange();
    };
    // The waiting thread sleeps in the port's wait, not before it.
    auto waiting = [&] { return tid != 0 && blockedSyscall(tid) == SYS_futex; };
    auto waiter = std::async(std::launch::async, wait);
    // A card change ends one wait with success...
    ASSERT_TRUE(eventually(waiting));
    emu->setCardPresent(false);
    ASSERT_EQ(waiter.wait_for(2s), std::future_status::ready);
    EXPECT_TRUE(waiter.get());
    // ...and closing ends the next one with failure.
    tid = 0;
    waiter = std::async(std::launch::async, wait);
    ASSERT_TRUE(eventually(waiting));
    EXPECT_EQ(waiter.wait_for(0ms), std::future_status::timeout);
    const auto t0 = Clock::now();
    EXPECT_TRUE(port->close());
    ASSERT_EQ(waiter.wait_for(2s), std::future_status::ready);
    EXPECT_FALSE(waiter.get());
    EXPECT_LT(msSince(t0), 1000.0);
}

TEST(NetworkPort, OpenFailsCleanly) {
    struct Case {
        std::string address;
        uint32_t code;
    };
    const std::vector<Case> cases = {
        {"127.0.0.1:" + std::to_string(closedPort()), kvr7x::kErrBadNetPath},
        {"no-such-host.invalid:7201", kvr7x::kErrBadNetPath},
        {"127.0.0.1", kvr7x::kErrBadPathName},
        {"127.0.0.1:0", kvr7x::kErrBadPathName},
        {"127.0.0.1:65536", kvr7x::kErrBadPathName},
        {":7201", kvr7x::kErrBadPathName},
        {"[::1:7201", kvr7x::kErrBadPathName},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.address);
        const auto t0 = Clock::now();
        EXPECT_EQ(kvr7x::openRfc2217Port(c.address), nullptr);
        EXPECT_EQ(kvr7x::lastError(), c.code);
        EXPECT_LT(msSince(t0), 3500.0);
    }
}

TEST(NetworkPort, ServerThatHangsUpAtOnceIsNotAPort) {
    RawServer server([&](RawServer &, int) {});
    const auto t0 = Clock::now();
    EXPECT_EQ(kvr7x::openRfc2217Port(server.hostPort()), nullptr);
    EXPECT_NE(kvr7x::lastError(), kvr7x::kErrTimeout);
    EXPECT_LT(msSince(t0), 1000.0);
}

TEST(NetworkPort, ServerThatNeverNegotiatesIsUsedAfterAWhile) {
    std::promise<void> done;
    RawServer server([&](RawServer &, int fd) {
        // Echoes data back, ignores telnet entirely.
        (void)fd;
        done.get_future().wait_for(5s);
    });
    const auto t0 = Clock::now();
    auto port = kvr7x::openRfc2217Port(server.hostPort());
    const double ms = msSince(t0);
    ASSERT_TRUE(port);
    EXPECT_GE(ms, 900.0);
    EXPECT_LT(ms, 2500.0);
    done.set_value();
}

TEST(NetworkPort, WriteToAServerThatStopsReadingEndsShortInTime) {
    std::promise<void> done;
    RawServer server([&](RawServer &, int fd) {
        RawServer::agree(fd);
        done.get_future().wait_for(10s);  // reads nothing more
    });
    auto port = kvr7x::openRfc2217Port(server.hostPort());
    ASSERT_TRUE(port);
    // A second for the write: time enough to fill the socket buffers even
    // in an instrumented build, where escaping 16 MiB takes a good part of
    // it.
    ASSERT_TRUE(port->setTimeouts({0, 0, 100, 0, 1000}));
    const Bytes big(16 * 1024 * 1024, 0x55);  // far beyond the socket buffers
    size_t written = 0;
    const auto t0 = Clock::now();
    kvr7x::setLastError(77);
    ASSERT_TRUE(port->write(big.data(), big.size(), written));
    const double ms = msSince(t0);
    EXPECT_EQ(kvr7x::lastError(), kvr7x::kErrTimeout);
    EXPECT_LT(written, big.size());
    EXPECT_GE(ms, 990.0);
    EXPECT_LT(ms, 2500.0);
    // A command that cannot go out whole would garble the stream: the port
    // is done for, with the cut-off write's own code (not the connect
    // time-out's).
    EXPECT_FALSE(port->setRts(true));
    EXPECT_EQ(kvr7x::lastError(), KVR7X_ERR_WRITE_CUT_OFF);
    uint32_t bits = 0;
    EXPECT_FALSE(port->modemStatus(bits));
    EXPECT_EQ(kvr7x::lastError(), KVR7X_ERR_WRITE_CUT_OFF);
    EXPECT_NE(KVR7X_ERR_WRITE_CUT_OFF, KVR7X_ERR_CONNECT_TIMEOUT);
    done.set_value();
    EXPECT_TRUE(port->close());
}

TEST(NetworkPort, ServerThatNeverAcceptsTimesOutOnOpen) {
    // A listener with a full accept queue drops further connection requests
    // unanswered, as an unreachable host does.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len);
    const uint16_t port = ntohs(addr.sin_port);
    const int filler = kvr7x::rfc2217::connectTcp("127.0.0.1", port, 1000ms);
    ASSERT_GE(filler, 0);

    const auto t0 = Clock::now();
    EXPECT_EQ(kvr7x::openRfc2217Port("127.0.0.1:" + std::to_string(port)), nullptr);
    const double ms = msSince(t0);
    EXPECT_EQ(kvr7x::lastError(), kvr7x::kErrConnectTimeout);
    EXPECT_GE(ms, 2950.0);
    EXPECT_LT(ms, 7500.0);
    ::close(filler);
    ::close(listener);
}
