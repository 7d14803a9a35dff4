// The tty port on a real pseudo-terminal: time-outs, transfers, purge,
// exclusive open, and close ending a blocked read.  (A pseudo-terminal has
// no modem lines; those parts need a real serial device.)  These run on the
// wall clock: no bound is shorter than the rule, and none tighter than two
// and a half times it, so that a busy machine does not fail them.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "eventually.h"
#include "transaction.h"
#include "tty_port.h"

namespace kvr7x {
namespace {

using test::blockedSyscall;
using test::eventually;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point t) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

class TtyPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        termios raw{};
        ::cfmakeraw(&raw);
        ASSERT_EQ(::openpty(&master, &slave, name, &raw, nullptr), 0);
        port = TtyPort::open(name);
        ASSERT_NE(port, nullptr) << "lastError " << lastError();
    }
    void TearDown() override {
        port.reset();
        ::close(slave);
        ::close(master);
    }
    void reader(const std::string &bytes) {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // The next n bytes the port sent, waiting at most 5 s for them.
    std::string sent(size_t n) {
        std::string in;
        pollfd p{master, POLLIN, 0};
        while (in.size() < n && ::poll(&p, 1, 5000) == 1) {
            char buf[64];
            const ssize_t k = ::read(master, buf, std::min(sizeof buf, n - in.size()));
            if (k <= 0) break;
            in.append(buf, static_cast<size_t>(k));
        }
        return in;
    }
    // Bytes that have reached the port's side and wait to be read.
    int waitingForThePort() const {
        int n = 0;
        return ::ioctl(slave, FIONREAD, &n) == 0 ? n : -1;
    }

    int master = -1, slave = -1;
    char name[128] = {};
    std::unique_ptr<TtyPort> port;
};

TEST_F(TtyPortTest, SilentReadEndsAfterMultiplierTimesCountPlusConstant) {
    ASSERT_TRUE(port->setTimeouts({1000, 20, 100, 0, 0}));
    uint8_t buf[5];
    size_t got = 99;
    const auto t = Clock::now();
    EXPECT_TRUE(port->read(buf, 5, got));
    const long ms = msSince(t);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(lastError(), kErrTimeout);
    EXPECT_GE(ms, 200);
    EXPECT_LT(ms, 500);
}

TEST_F(TtyPortTest, GapBetweenBytesEndsAReadEarly) {
    // A gap limit far above what a busy machine takes to pass a byte on, so
    // that "c" always comes within it, and a total far above the gap.
    ASSERT_TRUE(port->setTimeouts({400, 0, 10000, 0, 0}));
    reader("ab");
    ASSERT_TRUE(eventually([this] { return waitingForThePort() == 2; }));
    std::thread feeder([this] {
        // as soon as the read has taken "ab": within the gap, the read goes on
        eventually([this] { return waitingForThePort() == 0; });
        reader("c");
    });
    uint8_t buf[10];
    size_t got = 0;
    const auto t = Clock::now();
    EXPECT_TRUE(port->read(buf, 10, got));
    const long ms = msSince(t);
    feeder.join();
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(std::string(buf, buf + got), "abc");
    EXPECT_GE(ms, 400);
    EXPECT_LT(ms, 4000);  // far below the 10000 ms total
}

TEST_F(TtyPortTest, ReadEndsAsSoonAsAllBytesAreThere) {
    ASSERT_TRUE(port->setTimeouts({1000, 10, 5000, 0, 0}));
    reader("0123");
    ASSERT_TRUE(eventually([this] { return waitingForThePort() == 4; }));
    uint8_t buf[4];
    size_t got = 0;
    const auto t = Clock::now();
    EXPECT_TRUE(port->read(buf, 4, got));
    EXPECT_LT(msSince(t), 2000);  // not the 5040 ms the time-outs allow
    EXPECT_EQ(std::string(buf, buf + got), "0123");
}

TEST_F(TtyPortTest, WritesReachTheOtherEnd) {
    ASSERT_TRUE(port->setTimeouts({1000, 10, 100, 10, 100}));
    const uint8_t frame[] = {0xA1, 0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00};
    size_t written = 0;
    EXPECT_TRUE(port->write(frame, sizeof frame, written));
    EXPECT_EQ(written, sizeof frame);
    uint8_t in[16];
    size_t have = 0;
    pollfd p{master, POLLIN, 0};
    while (have < sizeof frame && ::poll(&p, 1, 5000) == 1) {
        const ssize_t k = ::read(master, in + have, sizeof in - have);
        if (k <= 0) break;
        have += static_cast<size_t>(k);
    }
    ASSERT_EQ(have, sizeof frame);
    EXPECT_EQ(0, std::memcmp(in, frame, sizeof frame));
}

TEST_F(TtyPortTest, PurgeDiscardsWhatArrived) {
    ASSERT_TRUE(port->setTimeouts({0, 0, 50, 0, 0}));
    reader("stale");
    ASSERT_TRUE(eventually([this] { return waitingForThePort() == 5; }));
    EXPECT_TRUE(port->purgeRx());
    EXPECT_TRUE(port->purgeTx());
    uint8_t buf[5];
    size_t got = 9;
    EXPECT_TRUE(port->read(buf, 5, got));
    EXPECT_EQ(got, 0u);
}

TEST_F(TtyPortTest, ReadWithoutTimeOutsEndsWhenThePortCloses) {
    ASSERT_TRUE(port->setTimeouts({}));
    bool ran = true;
    uint32_t err = 0;
    size_t got = 9;
    std::atomic<pid_t> tid{0};
    std::thread blocked([&] {
        tid = ::gettid();
        uint8_t buf[4];
        ran = port->read(buf, 4, got);
        err = lastError();
    });
    // The read has begun and waits for input without a limit.
    EXPECT_TRUE(eventually([&] {
        const long call = tid != 0 ? blockedSyscall(tid) : -1;
        return call == SYS_poll || call == SYS_ppoll;
    }));
    const auto t = Clock::now();
    EXPECT_TRUE(port->close());
    blocked.join();
    EXPECT_LT(msSince(t), 1000);
    EXPECT_FALSE(ran);
    EXPECT_EQ(err, kErrOperationAborted);
    EXPECT_EQ(got, 0u);
    uint32_t bits = 0;
    EXPECT_FALSE(port->modemStatus(bits));
    EXPECT_EQ(lastError(), kErrInvalidHandle);
    EXPECT_FALSE(port->close());
}

// The reply to a command that timed out comes once the next call waits on
// the line; the reader answers that call only after it.  The call drains
// the line before it sends, so it gets its own reply.  (The late reply must
// come within the drain's first quiet interval, 50 ms: the reader sends it
// as soon as the call is seen waiting, a few milliseconds.)
TEST_F(TtyPortTest, AReplyThatComesAfterItsTimeOutIsNotTakenForTheNextOne) {
    ASSERT_TRUE(port->setTimeouts(kBaseTimeouts));
    EXPECT_EQ(sendCommand(*port, 0x20, 0x00, 0xB0, 0x00, 0x00, 0x01, nullptr, nullptr, nullptr,
                          nullptr, 20),
              KVR7X_NO_ANSWER);
    EXPECT_EQ(sent(6), std::string("\x20\x00\xB0\x00\x00\x01", 6));
    std::atomic<pid_t> tid{0};
    int32_t result = -1;
    uint8_t data[2] = {0xEE, 0xEE};
    uint8_t sw1 = 0, sw2 = 0;
    int32_t len = -1;
    std::thread call([&] {
        tid = ::gettid();
        result =
            sendCommand(*port, 0x20, 0x00, 0xB0, 0x00, 0x00, 0x02, data, &sw1, &sw2, &len, 1000);
    });
    EXPECT_TRUE(eventually([&] {
        const long waiting = tid != 0 ? blockedSyscall(tid) : -1;
        return waiting == SYS_poll || waiting == SYS_ppoll;
    }));
    // The first command's reply, one data byte where two are asked for now.
    reader(std::string("\x00\x90\x00\x01\x77", 5));
    const bool asked = sent(6) == std::string("\x20\x00\xB0\x00\x00\x02", 6);
    if (asked) reader(std::string("\x00\x6A\x82\x02\x12\x34", 6));
    call.join();
    EXPECT_TRUE(asked);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(sw1, 0x6A);
    EXPECT_EQ(sw2, 0x82);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(data[0], 0x12);
    EXPECT_EQ(data[1], 0x34);
}

TEST_F(TtyPortTest, OpenIsExclusiveInThisAndOtherProcesses) {
    EXPECT_EQ(TtyPort::open(name), nullptr);
    EXPECT_EQ(lastError(), kErrAccessDenied);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(TtyPort::open(name) ? 1 : 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "another process opened the port";
    port.reset();
    EXPECT_NE(TtyPort::open(name), nullptr);
}

TEST_F(TtyPortTest, LineSettingsOnAPseudoTerminal) {
    termios tio{};
    ASSERT_EQ(::tcgetattr(slave, &tio), 0);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    ASSERT_EQ(::tcsetattr(slave, TCSANOW, &tio), 0);
    LineSettings s;
    s.baudRate = 1;
    ASSERT_TRUE(port->getLineSettings(s));
    EXPECT_EQ(s.baudRate, 9600u);
    EXPECT_EQ(s.byteSize, 8);
    EXPECT_EQ(s.parity, Parity::None);
    LineSettings bad;
    bad.baudRate = 12345;
    EXPECT_FALSE(port->setLineSettings(bad));
    EXPECT_EQ(lastError(), kErrInvalidParameter);
    // No modem lines on a pseudo-terminal: DTR cannot be raised, RTS not set.
    EXPECT_FALSE(port->setLineSettings(LineSettings{}));
    EXPECT_NE(lastError(), kErrTimeout);
    EXPECT_FALSE(port->setRts(false));
    uint32_t bits = 0;
    EXPECT_FALSE(port->modemStatus(bits));
    EXPECT_FALSE(port->watchDsr());
}

TEST_F(TtyPortTest, ReadsStillTimeOutUnderTheReadersLineSettings) {
    // A pseudo-terminal refuses the modem-line part, so the call may fail,
    // but takes the rest, which is checked below.
    (void)port->setLineSettings(LineSettings{});
    termios tio{};
    ASSERT_EQ(::tcgetattr(slave, &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(tio.c_lflag & ICANON, 0u);
    ASSERT_TRUE(port->setTimeouts({1000, 10, 100, 10, 100}));
    uint8_t buf[4];
    size_t got = 9;
    const auto t = Clock::now();
    EXPECT_TRUE(port->read(buf, 4, got)) << "lastError " << lastError();
    EXPECT_EQ(got, 0u);
    EXPECT_GE(msSince(t), 140);
    reader("\x90\x01");
    EXPECT_TRUE(port->read(buf, 2, got));
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(buf[0], 0x90);
}

TEST(TtyPortOpen, MissingAndNonTerminalPaths) {
    EXPECT_EQ(TtyPort::open("/nonexistent/ttyUSB9"), nullptr);
    EXPECT_EQ(lastError(), kErrFileNotFound);
    EXPECT_EQ(TtyPort::open("/dev/null"), nullptr);
    EXPECT_NE(lastError(), kErrTimeout);
}

}  // namespace
}  // namespace kvr7x
