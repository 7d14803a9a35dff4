// Port names, opening and closing: what QXOPEN does to a port, and when it
// refuses.
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "config_home.h"
#include "driver_fixture.h"
#include "port_names.h"
#include "port_open.h"
#include "tty_port.h"

namespace kvr7x::test {
namespace {

namespace fs = std::filesystem;

std::string describe(const std::optional<PortTarget> &t) {
    if (!t) return "none";
    return (t->kind == PortTarget::Kind::Network ? "net " : "dev ") + t->address;
}

TEST(PortNames, ResolveThroughTheDeviceMap) {
    ConfigHome home;
    home.writePortMap(
        "# reader bench\n"
        "\n"
        "COM1=/dev/ttyUSB0\n"
        "  COM2 =  rfc2217://127.0.0.1:7201  \n"
        "COM3=rfc2217://\n"
        "COM5=somewhere\n"
        "com6=/dev/ttyACM0\n"
        "COM7=/dev/first\n"
        "COM7=/dev/second\n"
        "garbage line\n");
    const struct {
        const char *name;
        const char *expected;
    } cases[] = {
        {"COM1", "dev /dev/ttyUSB0"},
        {"COM2", "net 127.0.0.1:7201"},
        {"COM3", "none"},  // a map entry that names nothing
        {"COM4", "dev /dev/ttyS3"},
        {"COM5", "none"},
        {"COM6", "dev /dev/ttyACM0"},
        {"com1", "dev /dev/ttyUSB0"},
        {"COM7", "dev /dev/second"},
        {"COM9", "dev /dev/ttyS8"},
        {"/dev/ttyUSB3", "dev /dev/ttyUSB3"},
        {"rfc2217://bench:4000", "net bench:4000"},
        {"", "none"},
        {"COM0", "none"},
        {"COM10", "none"},
        {"LPT1", "none"},
        {"ttyS0", "none"},
        {"rfc2217://", "none"},
        {"COM", "none"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(describe(resolvePortName(c.name)), c.expected);
    }
    EXPECT_EQ(describe(resolvePortName(nullptr)), "none");
}

TEST(PortNames, AMapThatIsNoRegularFileOfSaneSizeCountsAsNone) {
    ConfigHome home;
    const std::string map = home.dir() + "/kvr7x/ports";
    fs::create_directories(home.dir() + "/kvr7x");
    const struct {
        const char *what;
        std::function<void()> make;
        const char *why;
    } cases[] = {
        // a FIFO would hold the caller until someone writes to it
        {"FIFO", [&] { ASSERT_EQ(::mkfifo(map.c_str(), 0600), 0); }, "is not a regular file"},
        {"folder", [&] { fs::create_directory(map); }, "is a folder"},
        // /dev/zero would be read until memory runs out
        {"endless device", [&] { fs::create_symlink("/dev/zero", map); }, "is not a regular file"},
        {"huge file",
         [&] { std::ofstream(map) << "COM1=/dev/ttyUSB0\n"
                                  << std::string(70 * 1024, '#'); },
         "is larger than 64 KiB"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(map);
        c.make();
        setLastErrorText({});
        testing::internal::CaptureStderr();
        EXPECT_EQ(describe(resolvePortName("COM1")), "dev /dev/ttyS0");
        EXPECT_EQ(describe(resolvePortName("COM2")), "dev /dev/ttyS1");
        const std::string told = testing::internal::GetCapturedStderr();
        const std::string why = "ports map " + map + " " + c.why + ": ignored";
        EXPECT_EQ(lastErrorText(), why);
        // Said once, however often the map is looked at.
        EXPECT_EQ(told, "KVR7x: " + why + "\n");
    }
    // A byte-order mark before the first line is skipped.
    fs::remove_all(map);
    std::ofstream(map) << "\xEF\xBB\xBF"
                          "COM1=/dev/ttyUSB0\r\nCOM2=/dev/ttyUSB1\r\n";
    setLastErrorText({});
    EXPECT_EQ(describe(resolvePortName("COM1")), "dev /dev/ttyUSB0");
    EXPECT_EQ(describe(resolvePortName("COM2")), "dev /dev/ttyUSB1");
    EXPECT_EQ(lastErrorText(), "");
}

TEST(PortNames, NetworkNamesOfOneAddressAreOneTarget) {
    const auto identities = [](const char *name) { return resolvePortName(name)->identities(); };
    const auto loopback = identities("rfc2217://127.0.0.1:7201");
    EXPECT_EQ(loopback, std::vector<std::string>{"net:[127.0.0.1]:7201"});
    for (const char *same : {"rfc2217://127.1:7201", "rfc2217://localhost:7201"}) {
        const auto other = identities(same);
        EXPECT_NE(std::find(other.begin(), other.end(), loopback[0]), other.end()) << same;
    }
    EXPECT_EQ(identities("rfc2217://127.0.0.1:7202"),
              std::vector<std::string>{"net:[127.0.0.1]:7202"});
    EXPECT_EQ(identities("rfc2217://[::1]:7201"), std::vector<std::string>{"net:[::1]:7201"});
    EXPECT_EQ(identities("rfc2217://no-such-host.invalid:7201"),
              std::vector<std::string>{"net:no-such-host.invalid:7201"});
}

TEST(PortNames, WithoutAMapComNamesAreSerialDevices) {
    ConfigHome home;  // no map file in it
    EXPECT_EQ(describe(resolvePortName("COM1")), "dev /dev/ttyS0");
    EXPECT_EQ(describe(resolvePortName("COM2")), "dev /dev/ttyS1");
}

TEST(PortNames, MapDefaultsToTheHomeConfigFolder) {
    ConfigHome home;
    ::unsetenv("XDG_CONFIG_HOME");
    const char *h = std::getenv("HOME");
    EXPECT_EQ(deviceMapPath(), std::string(h ? h : "") + "/.config/kvr7x/ports");
    ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);  // not absolute: ignored
    EXPECT_EQ(deviceMapPath(), std::string(h ? h : "") + "/.config/kvr7x/ports");
    ::setenv("XDG_CONFIG_HOME", home.dir().c_str(), 1);
    EXPECT_EQ(deviceMapPath(), home.dir() + "/kvr7x/ports");
}

// Hands a shared scripted port to the library, so that the test can still
// look at it after the library has let go of it.
class SharedPort : public SerialPort {
public:
    explicit SharedPort(std::shared_ptr<ScriptedPort> p) : p_(std::move(p)) {}
    bool getLineSettings(LineSettings &o) override { return p_->getLineSettings(o); }
    bool setLineSettings(const LineSettings &i) override { return p_->setLineSettings(i); }
    bool getTimeouts(Timeouts &o) override { return p_->getTimeouts(o); }
    bool setTimeouts(const Timeouts &i) override { return p_->setTimeouts(i); }
    bool purgeTx() override { return p_->purgeTx(); }
    bool purgeRx() override { return p_->purgeRx(); }
    bool write(const uint8_t *b, size_t n, size_t &w) override { return p_->write(b, n, w); }
    bool read(uint8_t *b, size_t n, size_t &g) override { return p_->read(b, n, g); }
    bool setRts(bool on) override { return p_->setRts(on); }
    bool modemStatus(uint32_t &bits) override { return p_->modemStatus(bits); }
    bool watchDsr() override { return p_->watchDsr(); }
    bool waitDsrChange() override { return p_->waitDsrChange(); }
    bool restoreLine() override { return p_->restoreLine(); }
    bool close() override { return p_->close(); }

private:
    std::shared_ptr<ScriptedPort> p_;
};

// QXOPEN with its device replaced by a scripted port.
class PortOpenTest : public ::testing::Test {
protected:
    void SetUp() override {
        setEchoMode(false);
        setPortOpener([this](const PortTarget &t) -> std::unique_ptr<SerialPort> {
            opened.push_back(describe(t));
            if (!next) {
                setLastError(kErrFileNotFound);
                return nullptr;
            }
            last = next;
            next.reset();
            return std::make_unique<SharedPort>(last);
        });
    }
    void TearDown() override {
        setPortOpener(nullptr);
        setEchoMode(false);
    }
    // The next port QXOPEN will get, with a reader behind it.
    ScriptedPort &prepare() {
        next = std::make_shared<ScriptedPort>();
        readers.push_back(std::make_unique<ScriptedReader>(*next));
        ports.push_back(next);
        return *next;
    }
    ScriptedReader &nextReader() { return *readers.back(); }

    std::shared_ptr<ScriptedPort> next, last;
    std::vector<std::shared_ptr<ScriptedPort>> ports;
    std::vector<std::unique_ptr<ScriptedReader>> readers;
    std::vector<std::string> opened;
};

TEST_F(PortOpenTest, ConfiguresTheLineAndProbesTheReader) {
    ScriptedPort &p = prepare();
    LineSettings odd;
    odd.baudRate = 115200;
    odd.parity = Parity::Even;
    odd.stopBits = StopBits::Two;
    odd.outX = odd.inX = true;
    odd.outxCtsFlow = true;
    odd.dtrControl = DtrControl::Disable;
    odd.rtsControl = RtsControl::Handshake;
    p.setLineSettings(odd);
    p.clearSent();
    nextReader().resetAnswer = resetAnswer(identification('3'));

    const int32_t h = QXOPEN("/dev/ttyFAKE0");
    ASSERT_GE(h, 0);
    EXPECT_EQ(opened, std::vector<std::string>{"dev /dev/ttyFAKE0"});
    EXPECT_EQ(last->lineSettings(), LineSettings{});  // 9600 8N1, DTR on, no flow control
    EXPECT_EQ(last->timeouts(), kBaseTimeouts);
    const std::vector<std::string> steps{"getLine", "setLine", "rts 0",  "setTimeouts 100",
                                         "purgeTx", "purgeRx", "rts 1",  "rts 0",
                                         "read 1",  "read 2",  "read 32"};
    EXPECT_EQ(last->log(), steps);
    EXPECT_TRUE(echoMode());
    EXPECT_EQ(QXCLOSE(h), 1);
    EXPECT_TRUE(last->isClosed());
    EXPECT_TRUE(echoMode()) << "closing the port leaves echo mode as the reset set it";
}

TEST_F(PortOpenTest, SilentReaderStillOpensAndLeavesEchoAlone) {
    for (bool echo : {false, true}) {
        setEchoMode(echo);
        ScriptedPort &p = prepare();
        const auto t = p.clock().now();
        const int32_t h = QXOPEN("COM4");
        ASSERT_GE(h, 0);
        // After the pulse, one 110 ms wait for the answer and no more.
        EXPECT_EQ(p.clock().now() - t, 110ms);
        const std::vector<std::string> log = p.log();
        EXPECT_EQ(std::count(log.begin(), log.end(), "rts 1"), 1) << "one pulse";
        EXPECT_EQ(echoMode(), echo);
        // the first call fails instead
        EXPECT_EQ(QXSENDCOMMAND(h, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 20),
                  KVR7X_NO_ANSWER);
        EXPECT_EQ(QXCLOSE(h), 1);
    }
}

TEST_F(PortOpenTest, FailingConfigurationClosesThePort) {
    const struct {
        const char *name;
        Op op;
        int nth;
    } cases[] = {
        {"line settings unreadable", Op::GetLine, 1},
        {"line settings refused", Op::SetLine, 1},
        {"RTS cannot be lowered", Op::SetRts, 1},
        {"time-outs refused", Op::SetTimeouts, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::shared_ptr<ScriptedPort> p = next = std::make_shared<ScriptedPort>();
        readers.push_back(std::make_unique<ScriptedReader>(*p));
        LineSettings found;
        found.baudRate = 38400;
        found.parity = Parity::Odd;
        p->setLineSettings(found);
        p->failAt(c.op, c.nth, 31);
        nextReader().resetAnswer = resetAnswer(identification('3'));
        EXPECT_EQ(QXOPEN("/dev/ttyFAKE1"), -1);
        EXPECT_TRUE(p->isClosed());
        EXPECT_FALSE(echoMode());
        // The line is given back as it was found, then closed.
        const auto log = p->log();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2], "restoreLine");
        EXPECT_EQ(p->lineSettings(), found);
    }
    // and the name is free again
    prepare();
    const int32_t h = QXOPEN("/dev/ttyFAKE1");
    EXPECT_GE(h, 0);
    EXPECT_EQ(QXCLOSE(h), 1);
}

TEST_F(PortOpenTest, NamesThatOpenNothingGiveMinusOne) {
    EXPECT_EQ(QXOPEN("/dev/ttyFAKE2"), -1);  // the device cannot be opened
    EXPECT_EQ(QXOPEN(""), -1);
    EXPECT_EQ(QXOPEN("PRN"), -1);
    EXPECT_EQ(QXOPEN(nullptr), -1);
    EXPECT_EQ(opened, std::vector<std::string>{"dev /dev/ttyFAKE2"});
}

TEST_F(PortOpenTest, APortOpensOnceUntilClosed) {
    ConfigHome home;
    home.writePortMap("COM3=/dev/ttyFAKE3\n");
    prepare();
    const int32_t h = QXOPEN("/dev/ttyFAKE3");
    ASSERT_GE(h, 0);
    prepare();
    EXPECT_EQ(QXOPEN("/dev/ttyFAKE3"), -1);
    EXPECT_EQ(QXOPEN("COM3"), -1);  // the same device under its COM name
    EXPECT_EQ(opened.size(), 1u);   // refused before the device was touched
    EXPECT_EQ(QXCLOSE(h), 1);
    EXPECT_EQ(QXCLOSE(h), 0);  // already closed
    const int32_t again = QXOPEN("COM3");
    EXPECT_GE(again, 0);
    EXPECT_EQ(QXCLOSE(again), 1);
}

TEST_F(PortOpenTest, AFullPortTableFailsTheOpenBeforeTheLineIsTouched) {
    std::vector<int32_t> taken;
    for (;;) {
        const int32_t h = registerPort(std::make_shared<ScriptedPort>());
        if (h < 0) break;
        taken.push_back(h);
    }
    ASSERT_FALSE(taken.empty());
    prepare();
    nextReader().resetAnswer = resetAnswer(identification('3'));
    EXPECT_EQ(QXOPEN("/dev/ttyFAKE7"), -1);
    EXPECT_EQ(lastError(), kErrTooManyPorts);
    EXPECT_TRUE(opened.empty());  // no device opened, no reset pulse sent
    EXPECT_FALSE(echoMode());
    for (int32_t h : taken) EXPECT_TRUE(closePort(h));
    // Room again, and the name was not left claimed.
    const int32_t h = QXOPEN("/dev/ttyFAKE7");
    EXPECT_GE(h, 0);
    EXPECT_EQ(QXCLOSE(h), 1);
}

TEST_F(PortOpenTest, CloseReportsAFailingClose) {
    prepare().failAt(Op::Close, 1, 6);
    const int32_t h = QXOPEN("/dev/ttyFAKE4");
    ASSERT_GE(h, 0);
    EXPECT_EQ(QXCLOSE(h), 0);
    EXPECT_EQ(QXICCSTATUS(h, 0), KVR7X_BAD_HANDLE);  // gone from the table all the same
    EXPECT_EQ(QXCLOSE(-1), 0);
    EXPECT_EQ(QXCLOSE(12345), 0);
}

TEST_F(PortOpenTest, HandlesAreSmallNumbersAndEachNamesItsOwnPort) {
    prepare();
    const int32_t a = QXOPEN("/dev/ttyFAKE5");
    const auto pa = last;
    prepare();
    const int32_t b = QXOPEN("/dev/ttyFAKE6");
    const auto pb = last;
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(a, b);
    EXPECT_LT(a, kMaxPorts);
    EXPECT_LT(b, kMaxPorts);
    pa->setModemLines(kModemRlsd);
    pb->setModemLines(kModemDsr);
    EXPECT_EQ(QXIFDSTATUS(a), 0x80);
    EXPECT_EQ(QXIFDSTATUS(b), 0x20);
    EXPECT_EQ(QXCLOSE(a), 1);
    EXPECT_EQ(QXIFDSTATUS(b), 0x20);
    EXPECT_EQ(QXCLOSE(b), 1);
}

TEST(PortOpenReal, NetworkNameThatRefusesGivesMinusOne) {
    setPortOpener(nullptr);
    EXPECT_EQ(QXOPEN("rfc2217://127.0.0.1:1"), -1);
}

TEST(PortOpenReal, NonDevicesGiveMinusOne) {
    setPortOpener(nullptr);
    EXPECT_EQ(QXOPEN("/nonexistent/ttyS99"), -1);
    EXPECT_EQ(QXOPEN("/dev/null"), -1);  // not a serial line
}

TEST(PortOpenReal, PseudoTerminalHasNoModemLinesSoOpenFailsAndReleasesIt) {
    setPortOpener(nullptr);
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    // A terminal as a shell leaves it: line editing, echo, 38400 baud.
    termios before{};
    ASSERT_EQ(::tcgetattr(slave, &before), 0);
    before.c_lflag |= ICANON | ECHO | ISIG;
    ::cfsetispeed(&before, B38400);
    ::cfsetospeed(&before, B38400);
    ASSERT_EQ(::tcsetattr(slave, TCSANOW, &before), 0);
    ASSERT_EQ(::tcgetattr(slave, &before), 0);
    EXPECT_EQ(QXOPEN(name), -1);
    // The reason is the step that failed, not the closing of the port after.
    EXPECT_NE(lastError(), kErrInvalidHandle);
    EXPECT_NE(lastError(), 0u);
    // The failed open gave the terminal back as it found it.
    termios after{};
    ASSERT_EQ(::tcgetattr(slave, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B38400));
    auto port = TtyPort::open(name);  // neither locked nor claimed any more
    EXPECT_NE(port, nullptr);
    port.reset();
    ::close(slave);
    ::close(master);
}

}  // namespace
}  // namespace kvr7x::test
