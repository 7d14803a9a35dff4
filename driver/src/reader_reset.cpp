#include "reader_reset.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "traced_call.h"
#include "transaction.h"

namespace kvr7x {

namespace {
constexpr uint8_t kAnswerStart = 0x90;
constexpr auto kResetPulse = std::chrono::milliseconds(10);
// Most bytes dropped while hunting for the answer: about a second of
// unbroken chatter at 9600 bit/s.  A line that talks on and on without an
// answer (another device on the port, a stuck server) ends the hunt as if
// the reader were silent, instead of holding the caller for ever.
constexpr size_t kMostNoiseBytes = 1024;
}  // namespace

void applyIdentification(const uint8_t *id, size_t n) {
    // Only a full identification counts: a short one has no family digit.
    if (n < 4 || std::memcmp(id, "VEXA", 4) != 0) return;
    setEchoMode(n >= 10 && id[9] == '3');
}

namespace {

int32_t runReset(SerialPort &port, int32_t *len, uint8_t *data) {
    uint8_t *const frame = frameBuffer();
    // The rest of an exchange that timed out is drained first: a late
    // reply starting with 0x90 must not pass for the answer.  A port that
    // cannot purge fails again in setRts, which reports it.
    settleLine(port);
    (void)port.purgeTx();
    (void)port.purgeRx();
    if (!port.setRts(true)) return errorResult(lineFailure());
    std::this_thread::sleep_for(kResetPulse);
    if (!port.setRts(false)) return errorResult(lineFailure());

    frame[0] = 0;
    // Drop everything before the start of the answer, one byte at a time;
    // each byte must come within one single-byte read time-out.
    for (size_t dropped = 0;; ++dropped) {
        if (dropped > kMostNoiseBytes) return errorResult(kErrTimeout);
        const Transfer t = readAll(port, frame + 1, 1);
        if (!t.done) return errorResult(t.error);
        if (frame[1] == kAnswerStart) break;
    }

    if (const Transfer t = readAll(port, frame + 2, 2); !t.done) return errorResult(t.error);
    const uint8_t n = frame[3];
    if (n == 0) return 0;

    if (const Transfer t = readAll(port, frame + 4, n); !t.done) return errorResult(t.error);
    applyIdentification(frame + 4, n);
    if (data) std::memcpy(data, frame + 4, n);
    if (len) *len = n;
    return frame[0];
}

}  // namespace

int32_t resetReader(SerialPort &port, int32_t *len, uint8_t *data) {
    return tracedCall([](TracedExchange &e) { e.isReset = true; },
                      [&] { return runReset(port, len, data); });
}

}  // namespace kvr7x
