// The emulator as a server: its COM-PORT answers, its sessions, its timing
// and its program.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "com_port_server.h"
#include "emulator.h"
#include "eventually.h"
#include "network_test_support.h"
#include "raw_server.h"
#include "kvr7x.h"
#include "rfc2217/rfc2217_port.h"
#include "rfc2217/tcp_connect.h"

extern char **environ;

using namespace std::chrono_literals;
using kvr7x::emu::ComPortListener;
using kvr7x::emu::ComPortServer;
using kvr7x::emu::Emulator;
using kvr7x::emu::LogEntry;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using kvr7x::test::eventually;
using kvr7x::test::loopbackBacklog;
using kvr7x::test::msSince;
using kvr7x::test::startEmulator;

namespace {

struct Recorder final : ComPortListener {
    std::vector<std::string> events;
    void onData(uint8_t b) override { events.push_back("data " + std::to_string(b)); }
    void onRts(bool on) override { events.push_back(on ? "rts 1" : "rts 0"); }
    void onDtr(bool on) override { events.push_back(on ? "dtr 1" : "dtr 0"); }
    void onPurge(uint8_t w) override { events.push_back("purge " + std::to_string(w)); }
    void onModemStateOwed() override { events.push_back("modem state owed"); }
    void onFlowSuspend(bool s) override { events.push_back(s ? "suspend" : "resume"); }
    void onControl(const std::string &t) override { events.push_back(t); }
};

Bytes sb(std::initializer_list<uint8_t> payload) {
    Bytes b = {255, 250, 44};
    b.insert(b.end(), payload);
    b.insert(b.end(), {255, 240});
    return b;
}

}  // namespace

TEST(EmulatorServer, AnswersNegotiationAndEveryComPortRequestAsTheRfcSays) {
    struct Case {
        const char *what;
        Bytes in;
        Bytes reply;
        std::vector<std::string> events;
    };
    const std::vector<Case> cases = {
        {"line state polled before any mask", sb({6}), sb({106, 0x00}), {}},
        {"offer of the option: the modem state follows", {255, 251, 44}, {255, 253, 44}, {"modem state owed"}},
        {"offer again: no loop", {255, 251, 44}, {}, {}},
        {"binary asked", {255, 253, 0}, {255, 251, 0}, {}},
        {"unknown option", {255, 253, 24}, {255, 252, 24}, {}},
        {"baud rate", sb({1, 0x00, 0x00, 0x25, 0x80}), sb({101, 0x00, 0x00, 0x25, 0x80}), {"SET-BAUDRATE 9600"}},
        {"baud rate asked", sb({1, 0, 0, 0, 0}), sb({101, 0x00, 0x00, 0x25, 0x80}), {}},
        {"data size", sb({2, 8}), sb({102, 8}), {"SET-DATASIZE 8"}},
        {"parity", sb({3, 1}), sb({103, 1}), {"SET-PARITY 1"}},
        {"stop bits", sb({4, 1}), sb({104, 1}), {"SET-STOPSIZE 1"}},
        {"RTS on", sb({5, 11}), sb({105, 11}), {"rts 1"}},
        {"RTS asked", sb({5, 10}), sb({105, 11}), {}},
        {"DTR on", sb({5, 8}), sb({105, 8}), {"dtr 1"}},
        {"no flow control", sb({5, 1}), sb({105, 1}), {"SET-CONTROL flow 1"}},
        {"flow control asked", sb({5, 0}), sb({105, 1}), {}},
        {"inbound flow control asked", sb({5, 13}), sb({105, 14}), {}},
        {"inbound XON/XOFF", sb({5, 15}), sb({105, 15}), {"SET-CONTROL inbound flow 15"}},
        {"break asked", sb({5, 4}), sb({105, 6}), {}},
        {"break on", sb({5, 5}), sb({105, 5}), {"BREAK on"}},
        {"break asked again", sb({5, 4}), sb({105, 5}), {}},
        {"control value the RFC does not have", sb({5, 42}), {}, {"unknown COM-PORT command 5 (1 bytes)"}},
        {"data size asked", sb({2, 0}), sb({102, 8}), {}},
        {"data size the line cannot take: the one kept", sb({2, 9}), sb({102, 8}), {}},
        {"parity the line cannot take", sb({3, 6}), sb({103, 1}), {}},
        {"stop size asked", sb({4, 0}), sb({104, 1}), {}},
        {"modem mask", sb({11, 0xF2}), sb({111, 0xF2}), {"SET-MODEMSTATE-MASK 0xF2", "modem state owed"}},
        {"modem state polled", sb({7}), {}, {"modem state owed"}},
        {"line state mask", sb({10, 0x60}), sb({110, 0x60}), {}},
        {"line state polled: the line is idle", sb({6}), sb({106, 0x60}), {}},
        {"flow control suspended", sb({8}), {}, {"suspend"}},
        {"flow control resumed", sb({9}), {}, {"resume"}},
        {"purge", sb({12, 3}), sb({112, 3}), {"purge 3"}},
        {"signature asked", sb({0}), sb({100, 'k', 'v', 'r', '7', 'x', '-', 'e', 'm', 'u'}), {}},
        {"data with IAC doubled", {0x20, 255, 255, 0x21}, {}, {"data 32", "data 255", "data 33"}},
        {"bad purge", sb({12, 9}), {}, {"unknown COM-PORT command 12 (1 bytes)"}},
    };
    ComPortServer server;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Recorder rec;
        Bytes reply;
        // Byte by byte, as the worst chunking.
        for (uint8_t b : c.in) server.receive(&b, 1, rec, reply);
        EXPECT_EQ(reply, c.reply);
        EXPECT_EQ(rec.events, c.events);
    }
    EXPECT_TRUE(server.comPortAgreed());
    EXPECT_TRUE(server.rts());
    EXPECT_TRUE(server.dtr());
    EXPECT_TRUE(server.breakOn());
    EXPECT_EQ(server.baudRate(), 9600u);
    EXPECT_EQ(server.inboundFlowControl(), 15);
    // Reports carry only what the client's mask lets through.
    Bytes report;
    server.appendModemState(0xB3, report);
    EXPECT_EQ(report, sb({107, 0xB2}));
}

TEST(EmulatorServer, LineChangesActBetweenTheDataBytesTheyWereSentBetween) {
    Bytes in = {0x20, 0x21};
    for (const Bytes &part :
         {sb({5, 11}), Bytes{0x22, 255, 255}, sb({12, 1}), Bytes{0x23}, sb({5, 12}), Bytes{255, 241 /*NOP*/, 0x24}}) {
        in.insert(in.end(), part.begin(), part.end());
    }
    const std::vector<std::string> expected = {"data 32", "data 33", "rts 1", "data 34", "data 255",
                                               "purge 1", "data 35", "rts 0", "data 36"};
    for (size_t chunk : {in.size(), size_t{1}, size_t{4}}) {
        SCOPED_TRACE(chunk);
        ComPortServer server;
        Recorder rec;
        Bytes reply;
        for (size_t i = 0; i < in.size(); i += chunk)
            server.receive(in.data() + i, std::min(chunk, in.size() - i), rec, reply);
        EXPECT_EQ(rec.events, expected);
        Bytes acks = sb({105, 11});
        for (const Bytes &ack : {sb({112, 1}), sb({105, 12})}) acks.insert(acks.end(), ack.begin(), ack.end());
        EXPECT_EQ(reply, acks);
        EXPECT_EQ(server.malformedCount(), 0u);
    }
}

TEST(EmulatorServer, SurvivesAClientLeavingMidFrameAndServesTheNext) {
    auto emu = startEmulator();
    {
        const int fd = kvr7x::rfc2217::connectTcp("127.0.0.1", emu->port(), 1000ms);
        ASSERT_GE(fd, 0);
        const uint8_t partial[] = {255, 251, 44, 0x20, 0x00, 0x10};
        ASSERT_EQ(::send(fd, partial, sizeof partial, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof partial));
        ASSERT_TRUE(
            emu->log().waitFor([](const auto &log) { return !log.empty() && log.back().what == "client connected"; },
                               1000ms) ||
            emu->clientConnected());
        // The bytes sent reach the emulator before the end of the connection.
        ::close(fd);
    }
    ASSERT_TRUE(emu->log().waitFor(
        [](const auto &log) {
            for (const LogEntry &e : log)
                if (e.what == "client disconnected") return true;
            return false;
        },
        2000ms));
    bool dropped = false;
    for (const LogEntry &e : emu->log().entries()) dropped |= e.what == "partial frame of 3 bytes dropped";
    EXPECT_TRUE(dropped);

    const int32_t h = QXOPEN(emu->url().c_str());
    ASSERT_GE(h, 0);
    EXPECT_EQ(QXICCSTATUS(h, 1), 0x00);  // a whole new frame, nothing left over
    QXCLOSE(h);
    EXPECT_EQ(emu->clientsServed(), 2u);
}

TEST(EmulatorServer, LatencyCountsAgainstTheReplyTimeout) {
    kvr7x::emu::Config config;
    // A latency far beyond the 60 ms time-out, so that a busy machine's
    // delays cannot be taken for the late reply.
    config.latency = 1500ms;
    auto emu = startEmulator(config);
    const int32_t h = QXOPEN(emu->url().c_str());
    ASSERT_GE(h, 0);
    // The open's reset answer comes late too; the next call's purge drops it
    // once it has reached the driver: sent, and read from the socket.
    ASSERT_TRUE(eventually([&] {
        return emu->readerBytesSent() == 3 + kvr7x::emu::defaultIdentification().size() &&
               loopbackBacklog(emu->port()) == 0;
    })) << "the reset answer of the open";
    const size_t before = emu->readerBytesSent();
    auto t0 = Clock::now();
    EXPECT_EQ(QXSENDCOMMAND(h, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 60), KVR7X_NO_ANSWER);
    EXPECT_LT(msSince(t0), 750.0) << "the time-out ends the call, not the late reply";
    // The late reply is purged by the next call once it has reached the
    // driver: sent, and read from the socket.
    ASSERT_TRUE(eventually([&] { return emu->readerBytesSent() == before + 4 && loopbackBacklog(emu->port()) == 0; }));
    t0 = Clock::now();
    EXPECT_EQ(QXSENDCOMMAND(h, 0x20, 0, 0x10, 2, 0, 0, nullptr, nullptr, nullptr, nullptr, 4000), 0x50);
    EXPECT_GE(msSince(t0), 1495.0);
    QXCLOSE(h);
}

TEST(EmulatorServer, PacedAtTheLineRate) {
    kvr7x::emu::Config config;
    config.paced = true;
    auto emu = startEmulator(config);
    const int32_t h = QXOPEN(emu->url().c_str());
    ASSERT_GE(h, 0);
    // 20 exchanges of 6 bytes out and 4 back at 960 bytes a second.
    const auto t0 = Clock::now();
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(QXSENDCOMMAND(h, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 1000), 0);
    const double ms = msSince(t0);
    EXPECT_GE(ms, 20 * 10 * 1000.0 / 960.0 - 1.0);
    EXPECT_LT(ms, 20 * 10 * 1000.0 / 960.0 * 2.5);
    QXCLOSE(h);
}

TEST(EmulatorServer, ScriptedRulesAndSamSlotsThroughTheDriver) {
    kvr7x::emu::Config config;
    std::string error;
    ASSERT_TRUE(
        config.rules.parse("A2 00 A4 04 00 * => 00 90 00 | 6F 03 84 01 FF\n"
                           "21 00 CA 9F 7F 00 => 00 6A 88\n",
                           error))
        << error;
    config.samPresent = {true, false, true};
    auto emu = startEmulator(std::move(config));
    const int32_t h = QXOPEN(emu->url().c_str());
    ASSERT_GE(h, 0);
    uint8_t data[256] = {0xA0, 0x00, 0x00, 0x00, 0x03};
    uint8_t sw1 = 0, sw2 = 0;
    // Scripted: no activation needed, the rule answers first.
    EXPECT_EQ(QXISOIN(h, 1, 0x00, 0xA4, 0x04, 0x00, 5, data, &sw1, &sw2, 1000), 0x00);
    EXPECT_EQ(Bytes(data, data + 5), (Bytes{0x6F, 0x03, 0x84, 0x01, 0xFF}));
    EXPECT_EQ(sw1, 0x90);
    EXPECT_EQ(QXISOOUT(h, 0, 0x00, 0xCA, 0x9F, 0x7F, 0x00, data, &sw1, &sw2, 1000), 0x00);
    EXPECT_EQ(std::make_pair(sw1, sw2), std::make_pair(uint8_t{0x6A}, uint8_t{0x88}));
    // The SAM probe of the manager: slots 1 and 3 hold a module, 2 does not.
    for (uint32_t slot : {1u, 2u, 3u}) {
        int32_t len = -1;
        EXPECT_EQ(QXSENDCOMMAND(h, 0x20, 0, 0x10, slot, 0, 0, data, &sw1, &sw2, &len, 1000), slot == 2 ? 0x50 : 0x00)
            << slot;
    }
    int32_t len = 0;
    ASSERT_EQ(QXPOWERON(h, 3, 0x00, &len, data, &sw1, &sw2), 0x00);
    EXPECT_EQ(std::string(data + 4, data + len), "VEXASAM3");
    QXCLOSE(h);
}

namespace {

using kvr7x::test::RawServer;

// A bare client of the emulator, for what the driver never does.
struct RawClient {
    int fd = -1;
    // With `buffers`, the client's own socket buffers are that small (the
    // kernel's would otherwise grow to megabytes).
    explicit RawClient(const Emulator &emu, int buffers = 0) {
        if (buffers > 0) {
            fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffers, sizeof buffers);
            ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffers, sizeof buffers);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            addr.sin_port = htons(emu.port());
            if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
                ::close(fd);
                fd = -1;
            }
        } else {
            fd = kvr7x::rfc2217::connectTcp("127.0.0.1", emu.port(), 1000ms);
        }
    }
    ~RawClient() {
        if (fd >= 0) ::close(fd);
    }
    // True when the emulator has closed the connection within `limit`.
    bool closedWithin(std::chrono::milliseconds limit) const {
        const auto until = Clock::now() + limit;
        for (;;) {
            const int wait =
                static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count());
            if (wait <= 0) return false;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, wait) <= 0) continue;
            uint8_t buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return true;
        }
    }
};

bool logged(const Emulator &emu, const std::string &prefix, std::chrono::milliseconds limit = 2000ms) {
    return emu.log().waitFor(
        [&](const auto &log) {
            return std::any_of(log.begin(), log.end(), [&](const LogEntry &e) { return e.what.rfind(prefix, 0) == 0; });
        },
        limit);
}

}  // namespace

TEST(EmulatorServer, TellsTheModemStateOnceAgreedWhenPolledAndOnChangesWithinTheMask) {
    auto emu = startEmulator();
    RawClient client(*emu);
    ASSERT_GE(client.fd, 0);
    // No mask set: the RFC's initial mask lets every line through.
    RawServer::send(client.fd, {255, 251, 44});
    Bytes seen;
    ASSERT_TRUE(RawServer::receiveUntil(client.fd, sb({107, 0xB0}), 2000ms, &seen));  // DSR, carrier, CTS
    const Bytes agree = {255, 253, 44};
    EXPECT_LT(std::search(seen.begin(), seen.end(), agree.begin(), agree.end()) - seen.begin(),
              std::search(seen.begin(), seen.end(), sb({107, 0xB0}).begin(), sb({107, 0xB0}).end()) - seen.begin());

    RawServer::send(client.fd, sb({7}));  // a poll
    EXPECT_TRUE(RawServer::receiveUntil(client.fd, sb({107, 0xB0}), 2000ms));
    emu->setCardPresent(false);  // DSR off, with its delta bit
    EXPECT_TRUE(RawServer::receiveUntil(client.fd, sb({107, 0x92}), 2000ms));

    // A mask without DSR: card changes are not told, power changes are.
    RawServer::send(client.fd, sb({11, 0x88}));
    EXPECT_TRUE(RawServer::receiveUntil(client.fd, sb({111, 0x88}), 2000ms));
    RawServer::receive(client.fd, 100ms);
    emu->setCardPresent(true);
    EXPECT_TRUE(RawServer::receive(client.fd, 200ms).empty());
    emu->setPowered(false);
    EXPECT_TRUE(RawServer::receiveUntil(client.fd, sb({107, 0x08}), 2000ms));
}

TEST(EmulatorServer, AClientThatReconnectsAtOnceIsServed) {
    auto emu = startEmulator();
    for (int i = 0; i < 60; ++i) {
        const int32_t h = QXOPEN(emu->url().c_str());
        ASSERT_GE(h, 0) << "cycle " << i;
        EXPECT_EQ(QXICCSTATUS(h, 0), 0) << "cycle " << i;
        EXPECT_NE(QXCLOSE(h), 0);
    }
    EXPECT_EQ(emu->clientsServed(), 60u);
    for (const LogEntry &e : emu->log().entries()) EXPECT_NE(e.what.rfind("second client refused", 0), 0u) << e.what;
}

TEST(EmulatorServer, WithoutAMemoryLogNothingIsKept) {
    kvr7x::emu::Config config;
    config.memoryLog = false;
    auto emu = startEmulator(config);
    const int32_t h = QXOPEN(emu->url().c_str());
    ASSERT_GE(h, 0);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(QXICCSTATUS(h, 0), 0);
    QXCLOSE(h);
    EXPECT_TRUE(emu->log().entries().empty());
}

TEST(EmulatorServer, AClientThatNeverReadsIsHeldBackAndTheNextOneServed) {
    // Each 6-byte command draws a 258-byte reply; the client reads none.
    kvr7x::emu::Config config;
    config.memoryLog = false;
    std::string rule = "21 00 B0 00 00 FE => 00 90 00 |";
    for (int i = 0; i < 254; ++i) rule += " A5";
    std::string error;
    ASSERT_TRUE(config.rules.parse(rule, error)) << error;
    auto emu = startEmulator(std::move(config));
    {
        RawClient client(*emu, 16384);
        ASSERT_GE(client.fd, 0);
        RawServer::send(client.fd, {255, 251, 44});
        const Bytes read = {0x21, 0x00, 0xB0, 0x00, 0x00, 0xFE};
        Bytes flood;
        for (int i = 0; i < 4096; ++i) flood.insert(flood.end(), read.begin(), read.end());
        // Send until the emulator takes no more for half a second.
        size_t sent = 0;
        auto lastMove = Clock::now();
        const auto until = Clock::now() + 20s;
        while (Clock::now() - lastMove < 500ms && Clock::now() < until) {
            pollfd p{client.fd, POLLOUT, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const size_t at = sent % flood.size();
            const ssize_t k = ::send(client.fd, flood.data() + at, flood.size() - at, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (k > 0) {
                sent += static_cast<size_t>(k);
                lastMove = Clock::now();
            }
        }
        EXPECT_LT(Clock::now(), until) << "the emulator kept reading " << sent << " bytes";
        // Whatever the kernel holds, the emulator's own backlog stays small:
        // the bound, and the replies to one chunk it read before it stopped.
        EXPECT_LE(emu->peakUnsent(), kvr7x::emu::kMaxUnsent + 4096 / 6 * 258 + 1024);
    }
    // The client's end is noticed although nothing more is read from it.
    eventually([&] { return !emu->clientConnected(); }, 2000ms);
    EXPECT_FALSE(emu->clientConnected());
    const int32_t h = QXOPEN(emu->url().c_str());
    ASSERT_GE(h, 0);
    EXPECT_EQ(QXICCSTATUS(h, 0), 0);
    QXCLOSE(h);
}

TEST(EmulatorServer, AnIdleClientIsDisconnectedAfterTheIdleTimeOut) {
    kvr7x::emu::Config config;
    config.idleTimeout = 300ms;
    auto emu = startEmulator(config);
    const int32_t h = QXOPEN(emu->url().c_str());
    ASSERT_GE(h, 0);
    EXPECT_EQ(QXICCSTATUS(h, 0), 0);
    const auto t0 = Clock::now();
    ASSERT_TRUE(logged(*emu, "client silent for 300 ms: disconnected"));
    EXPECT_GE(msSince(t0), 250.0);
    EXPECT_EQ(QXICCSTATUS(h, 0), KVR7X_ERROR(KVR7X_ERR_CONNECTION_CLOSED));
    QXCLOSE(h);
    const int32_t again = QXOPEN(emu->url().c_str());  // the slot is free
    ASSERT_GE(again, 0);
    EXPECT_EQ(QXICCSTATUS(again, 0), 0);
    QXCLOSE(again);
}

TEST(EmulatorServer, ANewClientTakesOverFromASilentOneWhenAllowed) {
    kvr7x::emu::Config config;
    config.takeOverAfter = 300ms;
    auto emu = startEmulator(config);
    RawClient first(*emu);
    ASSERT_GE(first.fd, 0);
    RawServer::send(first.fd, {255, 251, 44});
    ASSERT_TRUE(RawServer::receiveUntil(first.fd, {255, 253, 44}, 2000ms));
    {
        // The first client spoke just now: a second one is refused.
        RawClient second(*emu);
        ASSERT_GE(second.fd, 0);
        EXPECT_TRUE(second.closedWithin(2000ms));
        EXPECT_TRUE(logged(*emu, "second client refused"));
    }
    std::this_thread::sleep_for(400ms);
    const int32_t h = QXOPEN(emu->url().c_str());
    ASSERT_GE(h, 0);
    EXPECT_TRUE(first.closedWithin(2000ms));
    EXPECT_TRUE(logged(*emu, "client silent for"));
    EXPECT_EQ(QXICCSTATUS(h, 0), 0);
    QXCLOSE(h);
}

TEST(EmulatorProgram, ServesUntilTerminated) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const char *argv[] = {KVR7X_EMU_PROGRAM, "--listen", "127.0.0.1:0", "--no-card", nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, KVR7X_EMU_PROGRAM, &actions, nullptr, const_cast<char **>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::FILE *text = ::fdopen(out[0], "r");
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, text), nullptr);
    const std::string first = line;
    const auto at = first.find("rfc2217://");
    ASSERT_NE(at, std::string::npos) << first;
    const std::string url = first.substr(at, first.find_last_not_of("\r\n") + 1 - at);

    const int32_t h = QXOPEN(url.c_str());
    EXPECT_GE(h, 0);
    EXPECT_EQ(QXICCSTATUS(h, 0), 0x50);  // --no-card
    EXPECT_EQ(QXCARDINSERTED(h, 0), 0);
    QXCLOSE(h);

    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ASSERT_NE(std::fgets(line, sizeof line, text), nullptr);
    EXPECT_EQ(std::string(line), "kvr7x-emu: stopped\n");
    std::fclose(text);
}
