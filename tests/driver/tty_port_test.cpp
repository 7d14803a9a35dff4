// The tty port on a real pseudo-terminal: time-outs, transfers, purge,
// exclusive open, and close ending a blocked read.  (A pseudo-terminal has
// no modem lines; those parts need a real serial device.)
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "tty_port.h"

namespace kvr7x {
namespace {

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
    EXPECT_EQ(lastError(), kErrNone);
    EXPECT_GE(ms, 200);
    EXPECT_LT(ms, 350);
}

TEST_F(TtyPortTest, GapBetweenBytesEndsAReadEarly) {
    ASSERT_TRUE(port->setTimeouts({60, 0, 2000, 0, 0}));
    std::thread feeder([this] {
        std::this_thread::sleep_for(30ms);
        reader("ab");
        std::this_thread::sleep_for(30ms);  // within the gap: the read goes on
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
    EXPECT_GE(ms, 60 + 60);
    EXPECT_LT(ms, 400);  // far below the 2000 ms total
}

TEST_F(TtyPortTest, ReadEndsAsSoonAsAllBytesAreThere) {
    ASSERT_TRUE(port->setTimeouts({1000, 10, 5000, 0, 0}));
    reader("0123");
    std::this_thread::sleep_for(10ms);
    uint8_t buf[4];
    size_t got = 0;
    const auto t = Clock::now();
    EXPECT_TRUE(port->read(buf, 4, got));
    EXPECT_LT(msSince(t), 100);
    EXPECT_EQ(std::string(buf, buf + got), "0123");
}

TEST_F(TtyPortTest, WritesReachTheOtherEnd) {
    ASSERT_TRUE(port->setTimeouts({1000, 10, 100, 10, 100}));
    const uint8_t frame[] = {0xA1, 0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00};
    size_t written = 0;
    EXPECT_TRUE(port->write(frame, sizeof frame, written));
    EXPECT_EQ(written, sizeof frame);
    uint8_t in[16];
    std::this_thread::sleep_for(10ms);
    ASSERT_EQ(::read(master, in, sizeof in), static_cast<ssize_t>(sizeof frame));
    EXPECT_EQ(0, std::memcmp(in, frame, sizeof frame));
}

TEST_F(TtyPortTest, PurgeDiscardsWhatArrived) {
    ASSERT_TRUE(port->setTimeouts({0, 0, 50, 0, 0}));
    reader("stale");
    std::this_thread::sleep_for(20ms);
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
    std::thread blocked([&] {
        uint8_t buf[4];
        ran = port->read(buf, 4, got);
        err = lastError();
    });
    std::this_thread::sleep_for(50ms);
    const auto t = Clock::now();
    EXPECT_TRUE(port->close());
    blocked.join();
    EXPECT_LT(msSince(t), 500);
    EXPECT_FALSE(ran);
    EXPECT_EQ(err, kErrOperationAborted);
    EXPECT_EQ(got, 0u);
    uint32_t bits = 0;
    EXPECT_FALSE(port->modemStatus(bits));
    EXPECT_EQ(lastError(), kErrInvalidHandle);
    EXPECT_FALSE(port->close());
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
    EXPECT_NE(lastError(), kErrNone);
    EXPECT_FALSE(port->setRts(false));
    uint32_t bits = 0;
    EXPECT_FALSE(port->modemStatus(bits));
    EXPECT_FALSE(port->watchDsr());
}

TEST_F(TtyPortTest, ReadsStillTimeOutUnderTheReadersLineSettings) {
    // A pseudo-terminal refuses the modem-line part, but takes the rest.
    port->setLineSettings(LineSettings{});
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
    EXPECT_NE(lastError(), kErrNone);
}

}  // namespace
}  // namespace kvr7x
