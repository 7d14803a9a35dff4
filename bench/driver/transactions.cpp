// Driver transactions against the emulated reader, with the emulator in a
// process of its own so that every figure of this process is the client's.
//
// Paced (default): the emulator runs at the real line rate (9600 bit/s, 10
// bits a byte: 960 bytes/s) and the figures are a ratio to what the wire
// allows; the difference is the time the driver, the network port and the
// loopback add to every exchange, which should stay under 2%.
//
// Unpaced (KVR_BENCH_UNPACED set): the emulator answers as fast as it can
// and the figures show the bare round trip: transactions per second, client
// CPU per transaction, TCP segments the client sends and receives per
// transaction, and the client's voluntary context switches (its wake-ups)
// per transaction.
//
// Memory (KVR_BENCH_MEMORY=N): N status requests unpaced, printing the
// emulator's resident memory every tenth of the way; it must stay flat.
//
// Usage: kvr7x_bench_transactions [SECONDS_PER_WORKLOAD]   (default 3)
#include <netinet/in.h>
#include <linux/tcp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "emulator.h"
#include "kvr7x.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Workload {
    const char *name;
    uint32_t code, ins, p1, p2, p3;
    size_t wireBytes;  // header out, reply header and data back, data out
};

// Runs an emulator in a child process; its port comes back through a pipe,
// and it stops when the parent closes the other pipe (or dies).
struct EmulatorProcess {
    pid_t pid = -1;
    uint16_t port = 0;
    int stopFd = -1;

    bool start(bool paced) {
        int portPipe[2], stopPipe[2];
        if (::pipe(portPipe) != 0 || ::pipe(stopPipe) != 0) return false;
        pid = ::fork();
        if (pid < 0) return false;
        if (pid == 0) {
            ::close(portPipe[0]);
            ::close(stopPipe[1]);
            kvr7x::emu::Config config;
            config.port = 0;
            config.paced = paced;
            config.memoryLog = false;  // as the program runs without --log
            kvr7x::emu::Emulator emu(config);
            std::string error;
            if (!emu.start(error)) {
                std::fprintf(stderr, "emulator: %s\n", error.c_str());
                ::_exit(1);
            }
            const uint16_t p = emu.port();
            if (::write(portPipe[1], &p, sizeof p) != sizeof p) ::_exit(1);
            char c;
            while (::read(stopPipe[0], &c, 1) > 0) {
            }
            emu.stop();
            ::_exit(0);
        }
        ::close(portPipe[1]);
        ::close(stopPipe[0]);
        stopFd = stopPipe[1];
        const bool ok = ::read(portPipe[0], &port, sizeof port) == sizeof port;
        ::close(portPipe[0]);
        return ok;
    }

    void stop() {
        if (pid <= 0) return;
        ::close(stopFd);
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
    }

    long residentKb() const {
        std::ifstream in("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
        return -1;
    }
};

// The client's socket to the emulator, found among this process's open
// descriptors by its peer port.
int clientSocket(uint16_t peerPort) {
    for (int fd = 3; fd < 1024; ++fd) {
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        if (::getpeername(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) continue;
        if (addr.ss_family == AF_INET &&
            ntohs(reinterpret_cast<sockaddr_in *>(&addr)->sin_port) == peerPort)
            return fd;
    }
    return -1;
}

struct Counters {
    double cpuUs = 0;
    long wakeups = 0;
    uint64_t segsOut = 0;
    uint64_t segsIn = 0;
};

Counters sample(int fd) {
    Counters c;
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    c.cpuUs = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e6 +
              static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
    c.wakeups = ru.ru_nvcsw;
    tcp_info info{};
    socklen_t len = sizeof info;
    if (fd >= 0 && ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &len) == 0) {
        c.segsOut = info.tcpi_segs_out;
        c.segsIn = info.tcpi_segs_in;
    }
    return c;
}

int memoryRun(int32_t port, const EmulatorProcess &emu, long total) {
    std::printf("%12s %14s\n", "transactions", "emulator RSS");
    std::printf("%12d %11ld kB\n", 0, emu.residentKb());
    const long step = std::max(1L, total / 10);
    for (long done = 0; done < total;) {
        for (long i = 0; i < step && done < total; ++i, ++done) {
            if (QXICCSTATUS(port, 0) < 0) {
                std::fprintf(stderr, "status request %ld failed\n", done);
                return 1;
            }
        }
        std::printf("%12ld %11ld kB\n", done, emu.residentKb());
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    if (!(seconds > 0)) {
        std::fprintf(stderr, "usage: %s [SECONDS_PER_WORKLOAD]\n", argv[0]);
        return 2;
    }
    const char *memory = std::getenv("KVR_BENCH_MEMORY");
    const bool paced = std::getenv("KVR_BENCH_UNPACED") == nullptr && memory == nullptr;
    EmulatorProcess emu;
    if (!emu.start(paced)) {
        std::fprintf(stderr, "the emulator did not start\n");
        return 1;
    }
    const std::string url = "rfc2217://127.0.0.1:" + std::to_string(emu.port);
    const int32_t port = QXOPEN(url.c_str());
    if (port < 0) {
        std::fprintf(stderr, "cannot open %s\n", url.c_str());
        emu.stop();
        return 1;
    }
    const int fd = clientSocket(emu.port);
    uint8_t data[256] = {};
    int32_t len = 0;
    uint8_t sw1 = 0, sw2 = 0;
    // Activate the card and select the 300-byte file for the reads.
    uint8_t fid[2] = {0x6F, 0x01};
    if (QXPOWERON(port, 0, 0, &len, data, &sw1, &sw2) != 0 ||
        QXISOIN(port, 0, 0x00, 0xA4, 0x00, 0x0C, 2, fid, &sw1, &sw2, 1000) != 0 || sw1 != 0x90) {
        std::fprintf(stderr, "the emulated card does not answer\n");
        emu.stop();
        return 1;
    }
    if (memory) {
        const int rc = memoryRun(port, emu, std::atol(memory));
        QXCLOSE(port);
        emu.stop();
        return rc;
    }

    const Workload workloads[] = {
        {"status request (10 bytes)", 0x20, 0x10, 0x00, 0x00, 0x00, 10},
        {"read binary, 32 bytes (42 bytes)", 0x21, 0xB0, 0x00, 0x00, 32, 42},
        {"update, 64 bytes out (74 bytes)", 0xA1, 0xD6, 0x00, 0x00, 64, 74},
    };
    std::printf("%s; per transaction: client CPU, TCP segments out/in, wake-ups\n",
                paced ? "paced at 9600 bit/s" : "unpaced");
    std::printf("%-34s %8s %8s %7s %9s %12s %8s %8s %8s %8s\n", "exchange", "per s", "limit",
                "ratio", "overhead", "median extra", "cpu us", "seg out", "seg in", "wakeups");
    double worst = 0;
    double worstMedian = 0;
    std::vector<double> extra;  // microseconds beyond the wire time, per exchange
    for (const Workload &w : workloads) {
        const double wireSeconds = paced ? static_cast<double>(w.wireBytes) / 960.0 : 0.0;
        extra.clear();
        const Counters c0 = sample(fd);
        const auto t0 = Clock::now();
        const auto until = t0 + std::chrono::duration<double>(seconds);
        while (Clock::now() < until) {
            const auto s0 = Clock::now();
            const int32_t r = QXSENDCOMMAND(port, w.code, 0x00, w.ins, w.p1, w.p2, w.p3, data,
                                            &sw1, &sw2, &len, 1000);
            if (r < 0) {
                std::fprintf(stderr, "%s failed: %d\n", w.name, r);
                emu.stop();
                return 1;
            }
            extra.push_back(std::chrono::duration<double, std::micro>(Clock::now() - s0).count() -
                            wireSeconds * 1e6);
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
        const Counters c1 = sample(fd);
        const double count = static_cast<double>(extra.size());
        const double rate = count / elapsed;
        std::sort(extra.begin(), extra.end());
        const double median = extra[extra.size() / 2];
        const double cpu = (c1.cpuUs - c0.cpuUs) / count;
        const double segOut = static_cast<double>(c1.segsOut - c0.segsOut) / count;
        const double segIn = static_cast<double>(c1.segsIn - c0.segsIn) / count;
        const double wakeups = static_cast<double>(c1.wakeups - c0.wakeups) / count;
        if (paced) {
            const double limit = 1.0 / wireSeconds;
            const double ratio = rate / limit;
            worst = std::max(worst, 1.0 - ratio);
            worstMedian = std::max(worstMedian, median / (wireSeconds * 1e6));
            std::printf("%-34s %8.2f %8.2f %7.4f %8.2f%% %9.0f us %8.1f %8.2f %8.2f %8.2f\n",
                        w.name, rate, limit, ratio, 100.0 * (1.0 - ratio), median, cpu, segOut,
                        segIn, wakeups);
        } else {
            std::printf("%-34s %8.0f %8s %7s %9s %9.1f us %8.1f %8.2f %8.2f %8.2f\n", w.name, rate,
                        "-", "-", "-", median, cpu, segOut, segIn, wakeups);
        }
    }
    QXCLOSE(port);
    emu.stop();
    if (paced)
        std::printf(
            "overhead beyond wire time: at most %.2f%% over the whole run, %.2f%% for the median\n"
            "exchange (goal: under 2%%; a busy machine inflates the first figure)\n",
            100.0 * worst, 100.0 * worstMedian);
    return 0;
}
