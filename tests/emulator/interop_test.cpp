// Interoperation with real peers that are not ours: pyserial's RFC 2217
// client against the emulator, and the driver against ser2net serving one
// end of a socat pseudo-terminal pair with a scripted reader on the other.
// A test is skipped when its peer is not installed (scripts/install-deps
// installs them all).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "emulator.h"
#include "eventually.h"
#include "kvr7x.h"
#include "network_test_support.h"

extern char **environ;

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using kvr7x::test::Clock;
using kvr7x::test::eventually;
using kvr7x::test::msSince;

namespace {

namespace fs = std::filesystem;

// A program found on PATH, or nothing.
std::optional<std::string> findProgram(const std::string &name) {
    const char *path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

// A child process, ended (SIGTERM, then SIGKILL) and reaped on every path.
class Child {
public:
    // Starts argv[0] with the arguments; with `captureOutput`, its standard
    // output can be read line by line.
    Child(const std::vector<std::string> &argv, bool captureOutput = false) {
        std::vector<char *> args;
        for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int out[2] = {-1, -1};
        if (captureOutput && ::pipe2(out, O_CLOEXEC) == 0) {
            posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        } else {
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        }
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (out[1] >= 0) ::close(out[1]);
        if (out[0] >= 0) output_ = ::fdopen(out[0], "r");
    }
    ~Child() {
        if (output_) std::fclose(output_);
        stop();
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    pid_t pid() const { return pid_; }

    // The next line of output (without its end), or nothing at its end.
    std::optional<std::string> line() {
        char buf[512];
        if (!output_ || !std::fgets(buf, sizeof buf, output_)) return std::nullopt;
        std::string s(buf);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        return s;
    }

    // Waits for the child to end by itself; its exit status, or -1.
    int wait(std::chrono::milliseconds limit) {
        int status = 0;
        if (pid_ <= 0 || !eventually([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, limit, 10ms)) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        if (wait(2000ms) == -1 && pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    std::FILE *output_ = nullptr;
};

// A Python 3 that has pyserial, or nothing.  Debian's own interpreter comes
// first: python3-serial is installed for it.
std::optional<std::string> pythonWithPyserial() {
    std::vector<std::string> candidates = {"/usr/bin/python3"};
    if (auto p = findProgram("python3")) candidates.push_back(*p);
    for (const std::string &python : candidates) {
        if (::access(python.c_str(), X_OK) != 0) continue;
        Child probe({python, "-c", "import serial.rfc2217"});
        if (probe.wait(20s) == 0) return python;
    }
    return std::nullopt;
}

// The TCP port a process listens on, from /proc; 0 when it listens on none.
uint16_t listeningPort(pid_t pid) {
    std::set<std::string> sockets;
    std::error_code ec;
    for (const auto &fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const std::string target = fs::read_symlink(fd.path(), ec).string();
        if (target.rfind("socket:[", 0) == 0) sockets.insert(target.substr(8, target.size() - 9));
    }
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);  // the heading
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
            fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
            if (state != "0A" || !sockets.count(inode)) continue;  // 0A: listening
            return static_cast<uint16_t>(std::stoul(local.substr(local.find(':') + 1), nullptr, 16));
        }
    }
    return 0;
}

// Reads exactly n bytes from a non-blocking descriptor, or fewer when the
// stop flag is raised or the descriptor fails.
size_t readFully(int fd, uint8_t *buf, size_t n, const std::atomic<bool> &stop) {
    size_t got = 0;
    while (got < n && !stop) {
        const ssize_t k = ::read(fd, buf + got, n - got);
        if (k > 0) {
            got += static_cast<size_t>(k);
        } else if (k < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        } else {
            std::this_thread::sleep_for(1ms);
        }
    }
    return got;
}

// A reader on a pseudo-terminal: it takes command frames and answers each.
// A data block comes back as the reply data (at most 255 bytes); a command
// without data is answered with P3 bytes counting down from 0xFF.
class PtyReader {
public:
    explicit PtyReader(const std::string &path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return;
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd_, TCSANOW, &tio);
        thread_ = std::thread([this] { serve(); });
    }
    ~PtyReader() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    int frames() const { return frames_; }

private:
    void serve() {
        uint8_t head[6];
        uint8_t block[256];
        while (!stop_) {
            if (readFully(fd_, head, 6, stop_) < 6) return;
            const size_t n = (head[0] & 0x80) ? (head[5] == 0 ? 256 : head[5]) : 0;
            if (readFully(fd_, block, n, stop_) < n) return;
            Bytes reply = {0x00, 0x90, 0x00};
            if (n) {
                reply.push_back(static_cast<uint8_t>(std::min<size_t>(n, 255)));
                reply.insert(reply.end(), block, block + std::min<size_t>(n, 255));
            } else {
                reply.push_back(head[5]);
                for (int i = 0; i < head[5]; ++i) reply.push_back(static_cast<uint8_t>(0xFF - i));
            }
            size_t sent = 0;
            while (sent < reply.size() && !stop_) {
                const ssize_t k = ::write(fd_, reply.data() + sent, reply.size() - sent);
                if (k > 0)
                    sent += static_cast<size_t>(k);
                else
                    std::this_thread::sleep_for(1ms);
            }
            ++frames_;
        }
    }

    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<int> frames_{0};
    std::thread thread_;
};

}  // namespace

TEST(Interop, PyserialClientUsesTheEmulator) {
    const auto python = pythonWithPyserial();
    if (!python) GTEST_SKIP() << "no python3 with pyserial (Debian package python3-serial)";
    auto emu = kvr7x::test::startEmulator();
    Child client({*python, KVR7X_PYSERIAL_CLIENT, emu->url()}, true);
    ASSERT_GT(client.pid(), 0);
    auto next = [&] { return client.line().value_or("(no more output)"); };

    EXPECT_EQ(next(), "lines DSR=1 CD=1");    // told once the option was agreed
    EXPECT_EQ(next(), "reset 90 00 | VEXA");  // RTS pulse, identification
    EXPECT_EQ(next(), "status 00 00 00 00");  // a status transaction
    EXPECT_EQ(next(), "polled DSR=1 CD=1");   // polls answered
    ASSERT_EQ(next(), "waiting for DSR off");
    emu->setCardPresent(false);
    EXPECT_EQ(next(), "DSR=0");  // the change seen
    EXPECT_EQ(client.wait(10s), 0);
}

TEST(Interop, DriverThroughSer2netToAReaderOnAPseudoTerminal) {
    const auto ser2net = findProgram("ser2net");
    const auto socat = findProgram("socat");
    if (!ser2net || !socat) GTEST_SKIP() << "ser2net or socat missing (Debian packages ser2net, socat)";
    char tmpl[] = "/tmp/kvr7x-interop-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    struct Cleanup {
        std::string dir;
        ~Cleanup() { fs::remove_all(dir); }
    } cleanup{dir};

    // Two pseudo-terminals joined back to back, as a null-modem cable.
    Child pair({*socat, "pty,raw,echo=0,link=" + dir + "/line", "pty,raw,echo=0,link=" + dir + "/reader"});
    ASSERT_TRUE(eventually([&] { return fs::exists(dir + "/line") && fs::exists(dir + "/reader"); }, 5000ms));
    PtyReader reader(dir + "/reader");
    ASSERT_TRUE(reader.ok());

    // ser2net serves the other end over RFC 2217 on a port of its choosing.
    std::ofstream(dir + "/ser2net.yaml") << "connection: &reader\n"
                                            "  accepter: telnet(rfc2217),tcp,127.0.0.1,0\n"
                                            "  connector: serialdev," +
                                                dir + "/line,9600n81,local\n";
    // -u: no UUCP lock file, which needs rights an ordinary user lacks.
    Child server({*ser2net, "-n", "-d", "-u", "-c", dir + "/ser2net.yaml", "-P", dir + "/ser2net.pid"});
    uint16_t port = 0;
    ASSERT_TRUE(eventually([&] { return (port = listeningPort(server.pid())) != 0; }, 5000ms));

    const std::string url = "rfc2217://127.0.0.1:" + std::to_string(port);
    const int32_t h = QXOPEN(url.c_str());  // the probe goes unanswered: a pty has no RTS
    ASSERT_GE(h, 0);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        // A 256-byte block full of 0xFF and its neighbours, and back.
        uint8_t data[256];
        for (int i = 0; i < 256; ++i) data[i] = static_cast<uint8_t>(i % 3 == 0 ? 0xFF : 0xFE + round - i);
        const Bytes sent(data, data + 255);
        uint8_t sw1 = 0, sw2 = 0;
        int32_t len = -1;
        const auto t0 = Clock::now();
        // Time-outs far beyond the exchange's own time, so that a stalled
        // thread of a busy machine is not taken for a silent reader.
        ASSERT_EQ(QXSENDCOMMAND(h, 0xA1, 0x00, 0xD6, 0x00, 0x00, 0x00, data, &sw1, &sw2, &len, 2000), 0);
        EXPECT_EQ(sw1, 0x90);
        ASSERT_EQ(len, 255);
        EXPECT_EQ(Bytes(data, data + 255), sent);
        EXPECT_LT(msSince(t0), 3000.0);
        // A command without data and a reply of 200 bytes from 0xFF down.
        EXPECT_EQ(QXISOOUT(h, 0, 0x00, 0xB0, 0x00, 0x00, 200, data, &sw1, &sw2, 2000), 0);
        EXPECT_EQ(data[0], 0xFF);
        EXPECT_EQ(data[199], 0xFF - 199);
    }
    EXPECT_EQ(reader.frames(), 6);
    EXPECT_EQ(QXCLOSE(h), 1);
}
