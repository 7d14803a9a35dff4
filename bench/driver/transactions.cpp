// Command exchanges against the emulated reader paced at the real line rate
// (9600 bit/s, 10 bits a byte: 960 bytes/s).  Goal: the driver, the network
// port and the loopback add less than 2% to the time an exchange's bytes
// need on the wire.  The figure judged is the median exchange of a run, as a
// share of the wire time; several runs show its spread, and the verdict
// holds only when all runs agree.  Exchanges per second are shown beside it.
//
// Usage: kvr7x_bench_transactions [SECONDS_PER_RUN [RUNS]]   (default 1 s, 5 runs)
// With KVR_BENCH_UNPACED set, the emulator answers as fast as it can: the
// figures are the bare round trips, and no goal applies to them.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

// One run: the time of every exchange in microseconds, and exchanges per
// second.  False when an exchange fails.
bool run(int32_t port, const Workload &w, double seconds, std::vector<double> &times, double &perSecond,
         kvr7x::emu::Emulator &emu) {
    uint8_t data[256] = {};
    int32_t len = 0;
    uint8_t sw1 = 0, sw2 = 0;
    times.clear();
    const auto t0 = Clock::now();
    const auto until = t0 + std::chrono::duration<double>(seconds);
    while (Clock::now() < until) {
        const auto s0 = Clock::now();
        const int32_t r = QXSENDCOMMAND(port, w.code, 0x00, w.ins, w.p1, w.p2, w.p3, data, &sw1, &sw2, &len, 1000);
        if (r < 0) {
            std::fprintf(stderr, "%s failed: %d\n", w.name, r);
            return false;
        }
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - s0).count());
        emu.log().clear();  // keep the frame log small
    }
    perSecond = static_cast<double>(times.size()) / std::chrono::duration<double>(Clock::now() - t0).count();
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    if (!(seconds > 0) || runs < 1) {
        std::fprintf(stderr, "usage: %s [SECONDS_PER_RUN [RUNS]]\n", argv[0]);
        return 2;
    }
    kvr7x::emu::Config config;
    config.port = 0;
    config.paced = std::getenv("KVR_BENCH_UNPACED") == nullptr;
    kvr7x::emu::Emulator emu(config);
    std::string error;
    if (!emu.start(error)) {
        std::fprintf(stderr, "emulator: %s\n", error.c_str());
        return 1;
    }
    const int32_t port = QXOPEN(emu.url().c_str());
    if (port < 0) {
        std::fprintf(stderr, "cannot open %s\n", emu.url().c_str());
        return 1;
    }
    uint8_t data[256] = {};
    int32_t len = 0;
    uint8_t sw1 = 0, sw2 = 0;
    // Activate the card and select the 300-byte file for the reads.
    uint8_t fid[2] = {0x6F, 0x01};
    if (QXPOWERON(port, 0, 0, &len, data, &sw1, &sw2) != 0 ||
        QXISOIN(port, 0, 0x00, 0xA4, 0x00, 0x0C, 2, fid, &sw1, &sw2, 1000) != 0 || sw1 != 0x90) {
        std::fprintf(stderr, "the emulated card does not answer\n");
        return 1;
    }
    emu.log().clear();

    const Workload workloads[] = {
        {"status request (10 bytes)", 0x20, 0x10, 0x00, 0x00, 0x00, 10},
        {"read binary, 32 bytes (42 bytes)", 0x21, 0xB0, 0x00, 0x00, 32, 42},
        {"update, 64 bytes out (74 bytes)", 0xA1, 0xD6, 0x00, 0x00, 64, 74},
    };
    if (config.paced) {
        std::printf("Goal: the median exchange takes less than %.0f%% longer than its bytes need on the\n"
                    "wire at 9600 bit/s.  Median of %d runs of %g s, lowest-highest run in brackets.\n\n",
                    kGoalPercent, runs, seconds);
        std::printf("%-34s %-9s %-22s %-24s %s\n", "exchange", "wire", "extra time", "per s (wire limit)", "goal");
    } else {
        std::printf("The emulator answers at once (KVR_BENCH_UNPACED): bare round trips, no wire time,\n"
                    "so no goal applies.  Median of %d runs of %g s, lowest-highest run in brackets.\n\n",
                    runs, seconds);
        std::printf("%-34s %-22s %s\n", "exchange", "round trip", "per s");
    }
    std::vector<double> times;
    for (const Workload &w : workloads) {
        const double wireMicros = static_cast<double>(w.wireBytes) / kWireBytesPerSecond * 1e6;
        std::vector<double> figures, rates;
        for (int r = 0; r < runs; ++r) {
            double perSecond = 0;
            if (!run(port, w, seconds, times, perSecond, emu)) return 1;
            const double median = spreadOf(times).median;
            figures.push_back(config.paced ? 100.0 * (median - wireMicros) / wireMicros : median);
            rates.push_back(perSecond);
        }
        const Spread figure = spreadOf(figures), rate = spreadOf(rates);
        if (config.paced) {
            char wire[16], perSecond[48];
            std::snprintf(wire, sizeof wire, "%.1f ms", wireMicros / 1000);
            std::snprintf(perSecond, sizeof perSecond, "%.1f (%.1f)", rate.median, 1e6 / wireMicros);
            std::printf("%-34s %-9s %-22s %-24s %s\n", w.name, wire, spreadText(figure, 2, "%").c_str(), perSecond,
                        kvr::bench::verdictBelow(figure, kGoalPercent));
        } else {
            std::printf("%-34s %-22s %s\n", w.name, spreadText(figure, 0, " us").c_str(),
                        spreadText(rate, 0, "").c_str());
        }
    }
    if (config.paced)
        std::printf("\n\"per s\" counts every exchange, the ones a busy machine delays too, so it falls\n"
                    "further below the wire limit than the median exchange shows.\n");
    QXCLOSE(port);
    return 0;
}
