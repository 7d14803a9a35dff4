// Driver transactions against the emulated reader, with the emulator in a
// process of its own so that every figure of this process is the client's.
//
// Paced (default): the emulator runs at the real line rate (9600 bit/s, 10
// bits a byte: 960 bytes/s).  Goal: the driver, the network port and the
// loopback add less than 2% to the time an exchange's bytes need on the wire.
// The figure judged is the median exchange of a run, as a share of the wire
// time; several runs show its spread, and the verdict holds only when all
// runs agree.  Exchanges per second are shown beside the wire limit.
//
// Unpaced (KVR_BENCH_UNPACED set): the emulator answers as fast as it can
// and the figures show the bare round trip, to which no goal applies:
// transactions per second, client CPU per transaction, TCP segments the
// client sends and receives per transaction, and the client's voluntary
// context switches (its wake-ups) per transaction.
//
// Memory (KVR_BENCH_MEMORY=N): N status requests unpaced, printing the
// emulator's resident memory every tenth of the way; it must stay flat.
//
// Usage: kvr7x_bench_transactions [SECONDS_PER_RUN [RUNS]]   (default 1 s, 5 runs)
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

#include "common/unique_fd.h"
#include "emulator.h"
#include "kvr7x.h"
#include "support/spread.h"

namespace {

using Clock = std::chrono::steady_clock;
using kvr::bench::Spread;
using kvr::bench::spreadOf;
using kvr::bench::spreadText;

constexpr double kGoalPercent = 2.0;
constexpr double kWireBytesPerSecond = 960.0;

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
    kvr::common::UniqueFd stop_;

    bool start(bool paced) {
        int portPipe[2], stopPipe[2];
        if (::pipe(portPipe) != 0) return false;
        kvr::common::UniqueFd portRead(portPipe[0]), portWrite(portPipe[1]);
        if (::pipe(stopPipe) != 0) return false;
        kvr::common::UniqueFd stopRead(stopPipe[0]), stopWrite(stopPipe[1]);
        pid = ::fork();
        if (pid < 0) return false;
        if (pid == 0) {
            portRead.reset();
            stopWrite.reset();
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
            if (::write(portWrite.get(), &p, sizeof p) != sizeof p) ::_exit(1);
            char c;
            while (::read(stopRead.get(), &c, 1) > 0) {}
            emu.stop();
            ::_exit(0);
        }
        portWrite.reset();
        stopRead.reset();
        stop_ = std::move(stopWrite);
        return ::read(portRead.get(), &port, sizeof port) == sizeof port;
    }

    void stop() {
        if (pid <= 0) return;
        stop_.reset();
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
        if (addr.ss_family == AF_INET && ntohs(reinterpret_cast<sockaddr_in *>(&addr)->sin_port) == peerPort) return fd;
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

// The client's costs per exchange over a run.
struct PerExchange {
    double cpuUs = 0, wakeups = 0, segsOut = 0, segsIn = 0;
};

// One run of a workload: the time of every exchange in microseconds,
// exchanges per second, and the client's counters per exchange.  False when
// an exchange fails.
struct Run {
    std::vector<double> times;
    double perSecond = 0;
    PerExchange perExchange;
};

bool runWorkload(int32_t port, int fd, const Workload &w, double seconds, Run &run) {
    uint8_t data[256] = {};
    int32_t len = 0;
    uint8_t sw1 = 0, sw2 = 0;
    run.times.clear();
    const Counters c0 = sample(fd);
    const auto t0 = Clock::now();
    const auto until = t0 + std::chrono::duration<double>(seconds);
    while (Clock::now() < until) {
        const auto s0 = Clock::now();
        const int32_t r = QXSENDCOMMAND(port, w.code, 0x00, w.ins, w.p1, w.p2, w.p3, data, &sw1, &sw2, &len, 1000);
        if (r < 0) {
            std::fprintf(stderr, "%s failed: %d\n", w.name, r);
            return false;
        }
        run.times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - s0).count());
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    const Counters c1 = sample(fd);
    const double count = static_cast<double>(run.times.size());
    run.perSecond = count / elapsed;
    run.perExchange.cpuUs = (c1.cpuUs - c0.cpuUs) / count;
    run.perExchange.wakeups = static_cast<double>(c1.wakeups - c0.wakeups) / count;
    run.perExchange.segsOut = static_cast<double>(c1.segsOut - c0.segsOut) / count;
    run.perExchange.segsIn = static_cast<double>(c1.segsIn - c0.segsIn) / count;
    return true;
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
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    if (!(seconds > 0) || runs < 1) {
        std::fprintf(stderr, "usage: %s [SECONDS_PER_RUN [RUNS]]\n", argv[0]);
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
        QXCLOSE(port);
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
    if (paced) {
        std::printf(
            "Goal: the median exchange takes less than %.0f%% longer than its bytes need on the\n"
            "wire at 9600 bit/s.  Median of %d runs of %g s, lowest-highest run in brackets.\n\n",
            kGoalPercent, runs, seconds);
        std::printf("%-34s %-9s %-22s %-24s %s\n", "exchange", "wire", "extra time", "per s (wire limit)", "goal");
    } else {
        std::printf(
            "The emulator answers at once (KVR_BENCH_UNPACED): bare round trips, no wire time,\n"
            "so no goal applies.  Median of %d runs of %g s, lowest-highest run in brackets.\n"
            "Per transaction, the median over the runs: client CPU, TCP segments out/in, wake-ups.\n\n",
            runs, seconds);
        std::printf("%-34s %-20s %-22s %7s %7s %7s %7s\n", "exchange", "round trip", "per s", "cpu us", "seg out",
                    "seg in", "wakeups");
    }
    Run run;
    for (const Workload &w : workloads) {
        const double wireMicros = static_cast<double>(w.wireBytes) / kWireBytesPerSecond * 1e6;
        std::vector<double> figures, rates, cpu, segsOut, segsIn, wakeups;
        for (int r = 0; r < runs; ++r) {
            if (!runWorkload(port, fd, w, seconds, run)) {
                QXCLOSE(port);
                emu.stop();
                return 1;
            }
            const double median = spreadOf(run.times).median;
            figures.push_back(paced ? 100.0 * (median - wireMicros) / wireMicros : median);
            rates.push_back(run.perSecond);
            cpu.push_back(run.perExchange.cpuUs);
            segsOut.push_back(run.perExchange.segsOut);
            segsIn.push_back(run.perExchange.segsIn);
            wakeups.push_back(run.perExchange.wakeups);
        }
        const Spread figure = spreadOf(figures), rate = spreadOf(rates);
        if (paced) {
            char wire[16], perSecond[48];
            std::snprintf(wire, sizeof wire, "%.1f ms", wireMicros / 1000);
            std::snprintf(perSecond, sizeof perSecond, "%.1f (%.1f)", rate.median, 1e6 / wireMicros);
            std::printf("%-34s %-9s %-22s %-24s %s\n", w.name, wire, spreadText(figure, 2, "%").c_str(), perSecond,
                        kvr::bench::verdictBelow(figure, kGoalPercent));
        } else {
            std::printf("%-34s %-20s %-22s %7.1f %7.2f %7.2f %7.2f\n", w.name, spreadText(figure, 0, " us").c_str(),
                        spreadText(rate, 0, "").c_str(), spreadOf(cpu).median, spreadOf(segsOut).median,
                        spreadOf(segsIn).median, spreadOf(wakeups).median);
        }
    }
    QXCLOSE(port);
    emu.stop();
    if (paced)
        std::printf(
            "\n\"per s\" counts every exchange, the ones a busy machine delays too, so it falls\n"
            "further below the wire limit than the median exchange shows.\n");
    return 0;
}
