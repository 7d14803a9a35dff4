#include "transaction.h"

#include <atomic>
#include <cassert>
#include <cstring>
#include <memory>

#include "port_table.h"
#include "traced_call.h"

namespace kvr7x {

namespace {

uint8_t g_frame[kFrameBufferSize];
std::atomic<bool> g_echo{false};

// The code of a failed transfer: the line's error, or 0 for a time-out.
uint32_t transferFailure(bool ran) { return ran ? kErrTimeout : lineFailure(); }

}  // namespace

uint32_t lineFailure() {
    const uint32_t code = lastError();
    return code == kErrTimeout ? kErrGenFailure : code;
}

uint8_t *frameBuffer() { return g_frame; }

bool echoMode() { return g_echo.load(); }

void setEchoMode(bool on) { g_echo.store(on); }

Transfer readAll(SerialPort &port, uint8_t *buf, size_t n) {
    size_t got = 0;
    const bool ran = port.read(buf, n, got);
    assert(!ran || got <= n);
    if (ran && got == n) return {true, kErrTimeout};
    if (ran) port.setUnsynchronised(true);
    return {false, transferFailure(ran)};
}

Transfer writeAll(SerialPort &port, const uint8_t *buf, size_t n) {
    size_t written = 0;
    const bool ran = port.write(buf, n, written);
    assert(!ran || written <= n);
    if (ran && written == n) return {true, kErrTimeout};
    if (ran) port.setUnsynchronised(true);
    return {false, transferFailure(ran)};
}

void settleLine(SerialPort &port) {
    if (!port.unsynchronised()) return;
    Timeouts saved;
    if (!port.getTimeouts(saved)) return;
    // Each read lasts one quiet interval and takes what comes in it.  (The
    // read that ends on its first byte would be quicker, but some serial
    // drivers, Wine's among them, wait for ever in that mode.)
    Timeouts t = saved;
    t.readInterval = 0;
    t.readMultiplier = 0;
    t.readConstant = static_cast<uint32_t>(kSettleQuiet.count());
    bool ran = port.setTimeouts(t);
    uint8_t dropped[kFrameBufferSize];
    size_t got = 1;
    for (int64_t interval = 0; ran && got > 0 && interval <= kSettleLimit / kSettleQuiet;
         ++interval)
        ran = port.read(dropped, sizeof dropped, got);
    if (!port.setTimeouts(saved)) return;
    if (ran) port.setUnsynchronised(false);
}

namespace {

// Steps 3 to 5: the header out and its echo back, then the data block
// (when there is one) and its echo back.  A reader that does not echo takes
// the data block with the header in one write: one frame, one write (one
// TCP segment on a network port).  Done when all went out; when not, the
// error says why.
Transfer sendRequest(SerialPort &port, uint8_t *frame, const uint8_t *data, size_t dataLen,
                     bool echo) {
    assert(dataLen <= 256 && 6 + dataLen <= kFrameBufferSize);
    if (!echo) {
        if (data) std::memcpy(frame + 6, data, dataLen);
        return writeAll(port, frame, data ? 6 + dataLen : 6);
    }
    Transfer t = writeAll(port, frame, 6);
    if (t.done) t = readAll(port, frame, 6);
    if (!t.done || data == nullptr) return t;
    t = writeAll(port, data, dataLen);
    if (t.done) t = readAll(port, frame + 6, dataLen);
    return t;
}

// Steps 6 to 9: the reply header and its data (copied to `data` when not
// null) read under the caller's time-out, then the port's own time-outs
// back.  0, or the error result.
int32_t receiveReply(SerialPort &port, uint8_t *frame, uint8_t *data, uint32_t timeout) {
    Timeouts saved;
    if (!port.getTimeouts(saved)) return errorResult(lineFailure());
    Timeouts working = saved;
    working.readConstant = timeout;
    if (!port.setTimeouts(working)) return errorResult(lineFailure());

    Transfer t = readAll(port, frame, 4);
    const uint8_t replyLen = frame[3];
    if (t.done && replyLen != 0) {
        t = readAll(port, frame + 4, replyLen);
        if (t.done && data) std::memcpy(data, frame + 4, replyLen);
    }
    if (!t.done) {
        // The transfer's error is the one reported; a failing restore
        // behind it is not.
        (void)port.setTimeouts(saved);
        return errorResult(t.error);
    }
    if (!port.setTimeouts(saved)) return errorResult(lineFailure());
    return 0;
}

int32_t runTransaction(SerialPort &port, uint8_t code, uint8_t cla, uint8_t ins, uint8_t p1,
                       uint8_t p2, uint8_t p3, uint8_t *data, uint8_t *sw1, uint8_t *sw2,
                       int32_t *len, uint32_t timeout) {
    const bool withData = (code & 0x80) != 0;
    const size_t dataLen = p3 == 0 ? 256 : p3;
    if (withData && data == nullptr) return errorResult(kErrInvalidParameter);

    // 1: the header.
    uint8_t *const frame = g_frame;
    frame[0] = code;
    frame[1] = cla;
    frame[2] = ins;
    frame[3] = p1;
    frame[4] = p2;
    frame[5] = p3;

    // 2: drop whatever an earlier exchange left behind, the rest of one
    // that timed out included.  A port that cannot purge fails again in
    // the write that follows, which reports it.
    settleLine(port);
    (void)port.purgeTx();
    (void)port.purgeRx();

    // 3 to 5: the request out.
    const Transfer sent = sendRequest(port, frame, withData ? data : nullptr, dataLen, echoMode());
    if (!sent.done) return errorResult(sent.error);

    // 6 to 9: the reply in.
    if (const int32_t failed = receiveReply(port, frame, data, timeout); failed != 0) return failed;

    // 10: the outputs.
    if (sw1) *sw1 = frame[1];
    if (sw2) *sw2 = frame[2];
    if (len) *len = frame[3];
    return frame[0];
}

}  // namespace

int32_t sendCommand(SerialPort &port, uint8_t code, uint8_t cla, uint8_t ins, uint8_t p1,
                    uint8_t p2, uint8_t p3, uint8_t *data, uint8_t *sw1, uint8_t *sw2, int32_t *len,
                    uint32_t timeout) {
    // The data block is copied before the reply overwrites the caller's
    // buffer with the reply data.
    uint8_t sent[256];
    return tracedCall(
        [&](TracedExchange &e) {
            const uint8_t header[6] = {code, cla, ins, p1, p2, p3};
            std::memcpy(e.header, header, sizeof header);
            if ((code & 0x80) != 0 && data) {
                e.sentLen = p3 == 0 ? 256 : p3;
                std::memcpy(sent, data, e.sentLen);
                e.sentData = sent;
            }
        },
        [&] {
            return runTransaction(port, code, cla, ins, p1, p2, p3, data, sw1, sw2, len, timeout);
        });
}

int32_t sendCommand(int32_t port, uint32_t code, uint32_t cla, uint32_t ins, uint32_t p1,
                    uint32_t p2, uint32_t p3, uint8_t *data, uint8_t *sw1, uint8_t *sw2,
                    int32_t *len, uint32_t timeout) {
    const std::shared_ptr<SerialPort> p = findPort(port);
    if (!p) return errorResult(kErrInvalidHandle);
    return sendCommand(*p, static_cast<uint8_t>(code), static_cast<uint8_t>(cla),
                       static_cast<uint8_t>(ins), static_cast<uint8_t>(p1),
                       static_cast<uint8_t>(p2), static_cast<uint8_t>(p3), data, sw1, sw2, len,
                       timeout);
}

}  // namespace kvr7x
