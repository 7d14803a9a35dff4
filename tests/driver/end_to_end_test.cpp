// The driver's exported calls end to end: real loopback sockets, the
// network serial port and the emulated reader.
#include <gtest/gtest.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "emulator.h"
#include "config_home.h"
#include "eventually.h"
#include "network_test_support.h"
#include "kvr7x.h"
#include "notifier.h"
#include "raw_server.h"
#include "rfc2217/tcp_connect.h"

using namespace std::chrono_literals;
using kvr7x::emu::Emulator;
using kvr7x::emu::LogEntry;
using kvr7x::test::ConfigHome;
using kvr7x::test::RawServer;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using kvr7x::test::blockedSyscall;
using kvr7x::test::eventually;
using kvr7x::test::msSince;
using kvr7x::test::newThread;
using kvr7x::test::threadIds;

namespace {

constexpr int32_t kNoAnswer = KVR7X_NO_ANSWER;

// The answer-to-reset of the emulator's card.
Bytes IsoCardAtr() { return kvr7x::emu::IsoCard().atr(); }

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override { start({}); }
    void TearDown() override {
        if (handle_ >= 0) QXCLOSE(handle_);
        emu_.reset();
    }

    void start(kvr7x::emu::Config config) {
        if (handle_ >= 0) QXCLOSE(handle_);
        handle_ = -1;
        emu_.reset();
        config.port = 0;
        emu_ = std::make_unique<Emulator>(std::move(config));
        std::string error;
        ASSERT_TRUE(emu_->start(error)) << error;
    }

    int32_t open() {
        handle_ = QXOPEN(emu_->url().c_str());
        return handle_;
    }

    // Frames the reader received, in order.
    std::vector<Bytes> frames() const {
        std::vector<Bytes> out;
        for (const LogEntry &e : emu_->log().entries())
            if (e.kind == LogEntry::Kind::FromHost) out.push_back(e.bytes);
        return out;
    }

    // A temporary XDG_CONFIG_HOME with a device map, for the rest of the
    // test.
    void mapPorts(const std::string &lines) {
        configHome_.emplace();
        configHome_->writePortMap(lines);
    }

    std::unique_ptr<Emulator> emu_;
    int32_t handle_ = -1;
    std::optional<ConfigHome> configHome_;
};

}  // namespace

TEST_F(EndToEnd, OpenByUrlAndByMappedComNameProbesTheReader) {
    ASSERT_GE(open(), 0);
    ASSERT_TRUE(emu_->log().waitFor(
        [](const auto &log) {
            for (const LogEntry &e : log)
                if (e.what == "reset answer") return true;
            return false;
        },
        2000ms));
    EXPECT_NE(QXCLOSE(handle_), 0);
    handle_ = -1;
    EXPECT_EQ(QXCLOSE(0x7FFF), 0);

    mapPorts("# the emulator\nCOM3 = " + emu_->url() + "\n");
    ASSERT_TRUE(
        emu_->log().waitFor([&](const auto &) { return !emu_->clientConnected(); }, 2000ms));
    handle_ = QXOPEN("COM3");
    ASSERT_GE(handle_, 0);
    int32_t len = -1;
    uint8_t id[255] = {};
    ASSERT_EQ(QXRESET(handle_, &len, id), 0);
    const Bytes expected = kvr7x::emu::defaultIdentification();
    ASSERT_EQ(len, static_cast<int32_t>(expected.size()));
    EXPECT_EQ(Bytes(id, id + len), expected);
    EXPECT_EQ(emu_->clientsServed(), 2u);
}

TEST_F(EndToEnd, SecondOpenOfTheSameReaderFails) {
    // Client ends that an earlier emulator on the same port number left in
    // the kernel's table (TIME_WAIT) are not this test's.
    std::vector<unsigned long> earlier;
    for (const kvr7x::test::TcpSocket &s : kvr7x::test::connectionsOf(emu_->port()))
        if (s.remotePort == emu_->port()) earlier.push_back(s.localPort);
    ASSERT_GE(open(), 0);
    EXPECT_EQ(QXOPEN(emu_->url().c_str()), -1);  // the same name, in this process
    // Other names of the same address and port: refused in this process
    // before a connection is made.
    for (const char *host : {"localhost", "127.1"}) {
        const std::string other =
            "rfc2217://" + std::string(host) + ":" + std::to_string(emu_->port());
        EXPECT_EQ(QXOPEN(other.c_str()), -1) << host;
    }
    // Only the first connection was ever made, whether the emulator has
    // taken it yet or not: one new client end in the kernel's table.
    const auto connections = kvr7x::test::connectionsOf(emu_->port());
    EXPECT_EQ(std::count_if(connections.begin(), connections.end(),
                            [&](const kvr7x::test::TcpSocket &s) {
                                return s.remotePort == emu_->port() &&
                                       std::find(earlier.begin(), earlier.end(), s.localPort) ==
                                           earlier.end();
                            }),
              1);
    EXPECT_EQ(emu_->clientsServed(), 1u);
    for (const LogEntry &e : emu_->log().entries())
        EXPECT_NE(e.what.rfind("second client refused", 0), 0u);
    // The first connection is unharmed.
    EXPECT_EQ(QXICCSTATUS(handle_, 0), 0);

    // Another process is refused by the emulator itself: it serves one
    // client at a time.
    const int fd = kvr7x::rfc2217::connectTcp("127.0.0.1", emu_->port(), 1000ms);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(emu_->log().waitFor(
        [](const auto &log) {
            for (const LogEntry &e : log)
                if (e.what.rfind("second client refused", 0) == 0) return true;
            return false;
        },
        1000ms));
    ::close(fd);
    EXPECT_EQ(QXICCSTATUS(handle_, 0), 0);
}

TEST_F(EndToEnd, ReaderAndCardOperations) {
    ASSERT_GE(open(), 0);
    EXPECT_EQ(QXICCSTATUS(handle_, 0), 0x00);
    EXPECT_EQ(QXICCSTATUS(handle_, 1), 0x00);
    EXPECT_EQ(QXICCSTATUS(handle_, 2), 0x50);  // empty SAM slot
    EXPECT_EQ(QXINSERT(handle_, 0, 1000), 0x00);
    EXPECT_EQ(QXISOOUT(handle_, 0, 0x00, 0xB0, 0, 0, 4, nullptr, nullptr, nullptr, 1000), 0xC0);

    int32_t len = -1;
    uint8_t data[256] = {};
    uint8_t sw1 = 0, sw2 = 0;
    ASSERT_EQ(QXPOWERON(handle_, 0, 0x02, &len, data, &sw1, &sw2), 0x00);
    const Bytes atr = IsoCardAtr();
    ASSERT_EQ(len, static_cast<int32_t>(atr.size()));
    EXPECT_EQ(Bytes(data, data + len), atr);
    EXPECT_EQ(sw1, 0x90);

    // SELECT 6F01 with a data block, READ BINARY without.
    uint8_t fid[256] = {0x6F, 0x01};
    sw1 = sw2 = 0;
    EXPECT_EQ(QXISOIN(handle_, 0, 0x00, 0xA4, 0x00, 0x0C, 2, fid, &sw1, &sw2, 1000), 0x00);
    EXPECT_EQ(std::make_pair(sw1, sw2), std::make_pair(uint8_t{0x90}, uint8_t{0x00}));
    uint8_t read[256] = {};
    EXPECT_EQ(QXISOOUT(handle_, 0, 0x00, 0xB0, 0x00, 0x20, 5, read, &sw1, &sw2, 1000), 0x00);
    EXPECT_EQ(Bytes(read, read + 5), (Bytes{0x20, 0x21, 0x22, 0x23, 0x24}));
    fid[0] = 0x12;
    EXPECT_EQ(QXISOIN(handle_, 0, 0x00, 0xA4, 0x00, 0x00, 2, fid, &sw1, &sw2, 1000), 0x00);
    EXPECT_EQ(std::make_pair(sw1, sw2), std::make_pair(uint8_t{0x6A}, uint8_t{0x82}));
    EXPECT_EQ(QXISOOUT(handle_, 0, 0x00, 0x12, 0, 0, 0, read, &sw1, &sw2, 1000), 0x00);
    EXPECT_EQ(std::make_pair(sw1, sw2), std::make_pair(uint8_t{0x6D}, uint8_t{0x00}));

    // Data blocks with 0xFF in them and of the full 256 bytes cross intact.
    Bytes block(256);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(255 - i);
    len = -1;
    EXPECT_EQ(QXSENDCOMMAND(handle_, 0xA1, 0x00, 0xD6, 0x00, 0x00, 0x00, block.data(), &sw1, &sw2,
                            &len, 1000),
              0);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(std::make_pair(sw1, sw2), std::make_pair(uint8_t{0x6D}, uint8_t{0x00}));

    EXPECT_EQ(QXPOWEROFF(handle_, 0), 0x00);
    EXPECT_EQ(QXREMOVE(handle_, 0, 1000), 0x00);
    EXPECT_EQ(QXSENDCOMMAND(handle_, 0x20, 0x00, 0x10, 0x07, 0, 0, nullptr, nullptr, nullptr,
                            nullptr, 1000),
              0xD0);
    EXPECT_EQ(QXSETPARAM(1, 2, 3), 0);
    EXPECT_EQ(QXGETPARAM(1, 2), 0);

    // The wire bytes as the reader saw them.
    const auto seen = frames();
    auto has = [&](const Bytes &f) { return std::find(seen.begin(), seen.end(), f) != seen.end(); };
    EXPECT_TRUE(has({0x20, 0x00, 0x80, 0x00, 0x02, 0x00}));
    EXPECT_FALSE(has({0x20, 0x00, 0x70, 0x00, 0x02, 0x00}));  // no echo: no select type
    EXPECT_TRUE(has({0xA1, 0x00, 0xA4, 0x00, 0x0C, 0x02, 0x6F, 0x01}));
    EXPECT_TRUE(has({0x21, 0x00, 0xB0, 0x00, 0x20, 0x05}));
    Bytes big = {0xA1, 0x00, 0xD6, 0x00, 0x00, 0x00};
    big.insert(big.end(), block.begin(), block.end());
    EXPECT_TRUE(has(big));
}

TEST_F(EndToEnd, ModemLinesFollowCardAndPower) {
    ASSERT_GE(open(), 0);
    auto waitFor = [](auto condition) { return eventually(condition, 2000ms); };
    EXPECT_TRUE(waitFor(
        [&] { return QXIFDSTATUS(handle_) == (KVR7X_MS_DSR | KVR7X_MS_RLSD | KVR7X_MS_CTS); }));
    EXPECT_EQ(QXCARDINSERTED(handle_, 0), 1);
    EXPECT_EQ(QXCARDINSERTED(handle_, 1), 0);
    EXPECT_EQ(QXREADERPOWERED(handle_), 1);
    emu_->setCardPresent(false);
    EXPECT_TRUE(waitFor([&] { return QXCARDINSERTED(handle_, 0) == 0; }));
    EXPECT_EQ(QXICCSTATUS(handle_, 0), 0x50);
    emu_->setPowered(false);
    EXPECT_TRUE(waitFor([&] { return QXREADERPOWERED(handle_) == 0; }));
    EXPECT_EQ(QXIFDSTATUS(handle_), 0);
    EXPECT_EQ(QXIFDSTATUS(-5), 0);
    EXPECT_EQ(QXCARDINSERTED(-5, 0), 0);
}

TEST_F(EndToEnd, EchoModeFollowsTheIdentification) {
    kvr7x::emu::Config basic;
    basic.identification = kvr7x::emu::basicIdentification();
    start(basic);
    ASSERT_GE(open(), 0);  // the probe switches echo mode on
    int32_t len = -1;
    uint8_t data[256] = {};
    uint8_t sw1 = 0, sw2 = 0;
    ASSERT_EQ(QXPOWERON(handle_, 0, 0x00, &len, data, &sw1, &sw2), 0x00);
    EXPECT_EQ(Bytes(data, data + len), IsoCardAtr());
    auto seen = frames();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[seen.size() - 2], (Bytes{0x20, 0x00, 0x70, 0x00, 0x00, 0x00}));
    EXPECT_EQ(seen[seen.size() - 1], (Bytes{0x20, 0x00, 0x80, 0x00, 0x00, 0x00}));
    uint8_t fid[256] = {0x00, 0x02};
    EXPECT_EQ(QXISOIN(handle_, 0, 0x00, 0xA4, 0x00, 0x0C, 2, fid, &sw1, &sw2, 1000), 0x00);
    EXPECT_EQ(sw1, 0x90);

    // A reader that stops echoing while the driver expects the echo: the
    // call fails for want of the echoed header.
    emu_->setIdentification(kvr7x::emu::defaultIdentification());
    const auto t0 = Clock::now();
    EXPECT_EQ(QXICCSTATUS(handle_, 0), kNoAnswer);
    EXPECT_LT(msSince(t0), 1000.0);
    // Its next reset answer switches echo mode off again.
    ASSERT_EQ(QXRESET(handle_, nullptr, nullptr), 0);
    emu_->log().clear();
    EXPECT_EQ(QXPOWERON(handle_, 0, 0x00, &len, data, &sw1, &sw2), 0x00);
    seen = frames();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], (Bytes{0x20, 0x00, 0x80, 0x00, 0x00, 0x00}));
}

TEST_F(EndToEnd, ResetSkipsNoiseAndKeepsOutputsOnAnEmptyAnswer) {
    kvr7x::emu::Config noisy;
    noisy.noise = {0x00, 0x55, 0x91, 0x13, 0xFF};
    noisy.latency = 20ms;
    start(noisy);
    ASSERT_GE(open(), 0);
    int32_t len = -1;
    uint8_t id[255] = {};
    ASSERT_EQ(QXRESET(handle_, &len, id), 0);
    EXPECT_EQ(Bytes(id, id + len), kvr7x::emu::defaultIdentification());

    emu_->setIdentification({});
    len = 1234;
    ASSERT_EQ(QXRESET(handle_, &len, id), 0);
    EXPECT_EQ(len, 1234);
}

TEST_F(EndToEnd, SilentReaderTimesOut) {
    kvr7x::emu::Config silent;
    silent.silent = true;
    start(silent);
    ASSERT_GE(open(), 0);  // opens all the same
    auto t0 = Clock::now();
    EXPECT_EQ(QXRESET(handle_, nullptr, nullptr), kNoAnswer);
    double ms = msSince(t0);
    EXPECT_GE(ms, 115.0);
    EXPECT_LT(ms, 400.0);

    t0 = Clock::now();
    EXPECT_EQ(QXICCSTATUS(handle_, 0), kNoAnswer);
    ms = msSince(t0);
    EXPECT_GE(ms, 5035.0);
    EXPECT_LT(ms, 12600.0);
}

TEST_F(EndToEnd, ReplyTimeOutStartsWhenTheDataBlockHasLeftTheLine) {
    // At 9600 bit/s the 6-byte header and a 256-byte block take 262 byte
    // times (10 bits each): about 273 ms, far more than the reader's 100 ms.
    const double wireMs = 262 * 10 * 1000.0 / 9600.0;
    kvr7x::emu::Config paced;
    paced.paced = true;
    start(paced);
    ASSERT_GE(open(), 0);
    uint8_t block[256] = {};
    uint8_t sw1 = 0, sw2 = 0;
    int32_t len = -1;
    for (int i = 0; i < 2; ++i) {
        auto t0 = Clock::now();
        EXPECT_GE(QXSENDCOMMAND(handle_, 0xA1, 0x00, 0xD6, 0x00, 0x00, 0x00, block, &sw1, &sw2,
                                &len, 100),
                  0);
        EXPECT_GE(msSince(t0), wireMs - 1.0);
        EXPECT_EQ(frames().back().size(), 262u);
    }
    // A header alone still works with a short time-out.
    EXPECT_EQ(QXICCSTATUS(handle_, 0), 0);

    // A reader that stays silent: the call ends T + 40 ms after the end of
    // transmission, not T + 40 ms after the call began.
    emu_->setSilent(true);
    const auto t0 = Clock::now();
    EXPECT_EQ(
        QXSENDCOMMAND(handle_, 0xA1, 0x00, 0xD6, 0x00, 0x00, 0x00, block, &sw1, &sw2, &len, 100),
        kNoAnswer);
    const double afterTransmission = msSince(t0) - wireMs;
    EXPECT_GE(afterTransmission, 140.0 - 2.0);
    EXPECT_LT(afterTransmission, 140.0 * 2.5);
}

namespace {

std::mutex g_noteMu;
std::condition_variable g_noteCv;
std::vector<std::pair<uint32_t, uint32_t>> g_notes;

void KVR7X_CALL onCardChange(uint32_t message, uint32_t present) {
    std::lock_guard lock(g_noteMu);
    g_notes.emplace_back(message, present);
    g_noteCv.notify_all();
}

bool waitNotes(size_t count) {
    std::unique_lock lock(g_noteMu);
    return g_noteCv.wait_for(lock, 2s, [&] { return g_notes.size() >= count; });
}

}  // namespace

TEST_F(EndToEnd, CardChangesReachTheNotificationAndItStops) {
    std::promise<std::string> stopped;
    std::atomic<bool> said{false};
    kvr7x::setNotifyMessageSink([&](const char *caption, const char *text) {
        if (!said.exchange(true)) stopped.set_value(std::string(caption) + ": " + text);
    });
    ASSERT_GE(open(), 0);
    g_notes.clear();
    const std::set<pid_t> before = threadIds();
    const uintptr_t thread = QXNOTIFY(handle_, onCardChange, 0x0401);
    ASSERT_NE(thread, 0u);
    const pid_t notifier = newThread(before, threadIds());
    emu_->setCardPresent(false);
    ASSERT_TRUE(waitNotes(1));
    emu_->setCardPresent(true);
    ASSERT_TRUE(waitNotes(2));
    {
        std::lock_guard lock(g_noteMu);
        EXPECT_EQ(g_notes[0], std::make_pair(0x0401u, 0u));
        EXPECT_EQ(g_notes[1], std::make_pair(0x0401u, 1u));
    }

    // Stop: nothing happens until the next line change, which reaches no one.
    // (The thread reads the stop flag between turns: let it get back to its
    // wait first.)
    ASSERT_TRUE(eventually([&] { return blockedSyscall(notifier) == SYS_futex; }));
    EXPECT_EQ(QXNOTIFY(handle_, nullptr, 0), 0u);
    auto said_ = stopped.get_future();
    EXPECT_EQ(said_.wait_for(200ms), std::future_status::timeout);
    emu_->setCardPresent(false);
    ASSERT_EQ(said_.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(said_.get(), "KVR7X.DLL: Notification Thread Stopped");
    void *code = nullptr;
    pthread_join(static_cast<pthread_t>(thread), &code);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(code), 1u);
    std::lock_guard lock(g_noteMu);
    EXPECT_EQ(g_notes.size(), 2u);
    kvr7x::setNotifyMessageSink({});
}

TEST_F(EndToEnd, ClosingThePortEndsTheNotificationThread) {
    std::promise<std::string> ended;
    std::atomic<bool> said{false};
    kvr7x::setNotifyMessageSink([&](const char *caption, const char *text) {
        if (!said.exchange(true)) ended.set_value(std::string(caption) + ": " + text);
    });
    ASSERT_GE(open(), 0);
    const std::set<pid_t> before = threadIds();
    const uintptr_t thread = QXNOTIFY(handle_, onCardChange, 7);
    ASSERT_NE(thread, 0u);
    const pid_t notifier = newThread(before, threadIds());
    // The close ends a wait that has begun.
    ASSERT_TRUE(eventually([&] { return blockedSyscall(notifier) == SYS_futex; }));
    EXPECT_NE(QXCLOSE(handle_), 0);
    handle_ = -1;
    auto f = ended.get_future();
    ASSERT_EQ(f.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(f.get(), "KVR7X: WaitEvent failed");
    pthread_join(static_cast<pthread_t>(thread), nullptr);
    kvr7x::setNotifyMessageSink({});
}

// A server that plays along until the first command and then misbehaves.
namespace {

void untilCommand(int fd) {
    RawServer::receiveUntil(fd, {0x20, 0x00, 0x10, 0x00, 0x00, 0x00}, 3000ms);
}

}  // namespace

// The network port's server goes away (a ser2net restarted): every call
// fails with "connection closed" and a reset cannot connect while nobody
// listens; once the server is back, a reset connects again under the same
// handle and the reader answers as before.
TEST_F(EndToEnd, AResetConnectsAgainToAServerThatCameBack) {
    ASSERT_GE(open(), 0);
    const uint16_t port = emu_->port();
    const auto status = [this] {
        return QXSENDCOMMAND(handle_, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr,
                             1000);
    };
    ASSERT_EQ(status(), 0);
    emu_.reset();
    EXPECT_EQ(status(), KVR7X_ERROR(KVR7X_ERR_CONNECTION_CLOSED));
    int32_t len = -1;
    Bytes answer(64);
    EXPECT_EQ(QXRESET(handle_, &len, answer.data()), KVR7X_ERROR(KVR7X_ERR_NO_SERVER));
    EXPECT_EQ(status(), KVR7X_ERROR(KVR7X_ERR_CONNECTION_CLOSED)) << "still the lost connection";

    kvr7x::emu::Config config;
    config.port = port;
    emu_ = std::make_unique<Emulator>(std::move(config));
    std::string error;
    ASSERT_TRUE(emu_->start(error)) << error;
    EXPECT_EQ(QXRESET(handle_, &len, answer.data()), 0);
    EXPECT_GT(len, 0) << "the identification came back";
    EXPECT_EQ(status(), 0);
    EXPECT_EQ(emu_->clientsServed(), 1u);
    // The name stays claimed by the handle: a second open is refused.
    EXPECT_EQ(QXOPEN(emu_->url().c_str()), -1);
}

TEST(EndToEndFaults, VanishingStallingAndGarbledServersGiveFailures) {
    // A server that stalls keeps the connection open until the call is over.
    struct Case {
        const char *name;
        std::function<void(int)> misbehave;
        bool thenStalls;
        uint32_t timeout;
        double atMostMs;
        bool exactNoAnswer;
    };
    // The calls that time out take 300 + 4 * 10 ms; the bounds are two and a
    // half times that, and half the 3040 ms of the call that must fail early.
    const std::vector<Case> cases = {
        {"closes mid-reply",
         [](int fd) {
             RawServer::send(fd, {0x00, 0x90});
         },
         false, 3000, 1500, false},
        {"stalls", [](int fd) { RawServer::send(fd, {0x00}); }, true, 300, 850, true},
        {"garbles telnet",
         [](int fd) {
             RawServer::send(
                 fd, {255, 250, 44, 107, 255, 1, 2, 255, 250, 255, 255, 255, 240, 255, 253, 99});
         },
         true, 300, 850, true},
        {"floods a subnegotiation",
         [](int fd) {
             Bytes flood(3 + 200000, 0x55);
             flood[0] = 255;
             flood[1] = 250;
             flood[2] = 44;
             RawServer::send(fd, flood);
         },
         true, 300, 850, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::promise<void> callOver;
        std::shared_future<void> over = callOver.get_future().share();
        RawServer server([&c, over](RawServer &, int fd) {
            RawServer::agree(fd);
            untilCommand(fd);
            c.misbehave(fd);
            if (c.thenStalls) over.wait_for(10s);
        });
        const std::string url = "rfc2217://" + server.hostPort();
        const int32_t h = QXOPEN(url.c_str());  // the silent probe does not stop it
        ASSERT_GE(h, 0);
        const auto t0 = Clock::now();
        const int32_t r =
            QXSENDCOMMAND(h, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, c.timeout);
        EXPECT_LT(r, 0);
        if (c.exactNoAnswer) {
            EXPECT_EQ(r, kNoAnswer);
        }
        EXPECT_LT(msSince(t0), c.atMostMs);
        callOver.set_value();
        QXCLOSE(h);
    }
}
