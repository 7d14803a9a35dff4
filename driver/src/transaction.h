// The command transaction: the host sends a 6-byte header (CODE CLA INS P1
// P2 P3) and, when bit 7 of CODE is set, a data block of P3 bytes (256 when
// P3 is 0); the reader answers with a 4-byte header (STAT SW1 SW2 LEN) and
// LEN data bytes.  In echo mode the reader sends back every byte it gets,
// and the echo is read before the reply.
//
// The frame buffer and the echo flag are process-wide: one reader call at a
// time per process, whatever the port.
#ifndef KVR7X_TRANSACTION_H
#define KVR7X_TRANSACTION_H

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "serial_port.h"

namespace kvr7x {

inline constexpr size_t kFrameBufferSize = 1024;

// Base time-outs every open port runs under.
inline constexpr Timeouts kBaseTimeouts{1000, 10, 100, 10, 100};

// The process-wide frame buffer holding the frame in flight.
uint8_t *frameBuffer();

bool echoMode();
void setEchoMode(bool on);

// The error result of a failed step: the step's error code with bit 31 set.
[[nodiscard]] inline int32_t errorResult(uint32_t code) {
    return static_cast<int32_t>(code | 0x80000000u);
}

// The code of a failed port operation: lastError(), never 0.
[[nodiscard]] uint32_t lineFailure();

// After a time-out the line is out of step: the reply that did not come in
// time may still be on its way.  The next call (a transaction or a reset)
// on that port first drains the line (settleLine): it drops what comes in
// one interval of kSettleQuiet after another, until one brings nothing
// (the line is quiet) or 1 + kSettleLimit / kSettleQuiet of them have
// brought bytes; only then does the call purge and send.  So a call after
// a time-out costs kSettleQuiet more on a silent line, twice that when a
// late reply comes in the first interval, and at most kSettleQuiet +
// kSettleLimit on a line that keeps talking.
inline constexpr std::chrono::milliseconds kSettleQuiet{50};
inline constexpr std::chrono::milliseconds kSettleLimit{500};

// Outcome of one transfer: done when it moved every byte; else `error` is
// the code for the error result (kErrTimeout for a transfer that ended short
// by time-out).
struct [[nodiscard]] Transfer {
    bool done = false;
    uint32_t error = kErrTimeout;
};
// A transfer that ends short by time-out marks the line unsynchronised.
Transfer readAll(SerialPort &port, uint8_t *buf, size_t n);
Transfer writeAll(SerialPort &port, const uint8_t *buf, size_t n);

// Drains a line marked unsynchronised, as told above, and marks it in step
// again; the port's time-outs are left as they were.  Nothing to do on a
// line in step.  A port that fails here fails again in the call's next
// step, which reports it.
void settleLine(SerialPort &port);

// One transaction on the port named by a handle.  Byte arguments use their
// low byte.  Returns STAT (0..255) or the error result; the outputs are
// written only when STAT is returned.  A handle that names no open port
// gives 0x80000006; a null data buffer where a data block is due gives
// 0x80000057 and nothing is sent.
[[nodiscard]] int32_t sendCommand(int32_t port, uint32_t code, uint32_t cla, uint32_t ins,
                                  uint32_t p1, uint32_t p2, uint32_t p3, uint8_t *data,
                                  uint8_t *sw1, uint8_t *sw2, int32_t *len, uint32_t timeout);

// The same transaction on a port object.
[[nodiscard]] int32_t sendCommand(SerialPort &port, uint8_t code, uint8_t cla, uint8_t ins,
                                  uint8_t p1, uint8_t p2, uint8_t p3, uint8_t *data, uint8_t *sw1,
                                  uint8_t *sw2, int32_t *len, uint32_t timeout);

}  // namespace kvr7x

#endif
