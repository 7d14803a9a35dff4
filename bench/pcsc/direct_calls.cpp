// The driver called directly, without pcscd: GET CHALLENGE by QXISOOUT and
// SELECT by QXISOIN on the card of a reader, each for a given time; prints
// the calls per second of each.  The PC/SC benchmark runs it against an
// emulator of its own to show what the handler and pcscd add.
//
// Usage: kvr7x_bench_pcsc_direct PORT_NAME SECONDS
// Prints: "getchallenge RATE" and "select RATE", one a line.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "kvr7x.h"

namespace {

using Clock = std::chrono::steady_clock;

// Calls per second of `call` (true when it worked) over `seconds`; -1 when
// a call fails.
template <typename Call>
double rateOf(double seconds, Call call) {
    long count = 0;
    const auto t0 = Clock::now();
    const auto until = t0 + std::chrono::duration<double>(seconds);
    while (Clock::now() < until) {
        if (!call()) return -1;
        ++count;
    }
    return static_cast<double>(count) / std::chrono::duration<double>(Clock::now() - t0).count();
}

}  // namespace

int main(int argc, char **argv) {
    const double seconds = argc == 3 ? std::atof(argv[2]) : 0;
    if (!(seconds > 0)) {
        std::fprintf(stderr, "usage: %s PORT_NAME SECONDS\n", argv[0]);
        return 2;
    }
    const int32_t port = QXOPEN(argv[1]);
    if (port < 0) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    uint8_t data[256] = {};
    uint8_t sw1 = 0, sw2 = 0;
    int32_t len = 0;
    if (QXPOWERON(port, 0, 0, &len, data, &sw1, &sw2) != 0) {
        std::fprintf(stderr, "the card does not answer\n");
        QXCLOSE(port);
        return 1;
    }
    const double challenge = rateOf(seconds, [&] {
        return QXISOOUT(port, 0, 0x00, 0x84, 0x00, 0x00, 8, data, &sw1, &sw2, 1000) == 0 && sw1 == 0x90;
    });
    const double select = rateOf(seconds, [&] {
        uint8_t mf[2] = {0x3F, 0x00};
        return QXISOIN(port, 0, 0x00, 0xA4, 0x00, 0x0C, 2, mf, &sw1, &sw2, 1000) == 0 && sw1 == 0x90;
    });
    QXCLOSE(port);
    if (challenge < 0 || select < 0) {
        std::fprintf(stderr, "a call failed\n");
        return 1;
    }
    std::printf("getchallenge %.1f\nselect %.1f\n", challenge, select);
    return 0;
}
