// The library's export table: every call a program can bind by name.
#include "kvr7x.h"

#include <memory>

#include "notifier.h"
#include "port_open.h"
#include "port_table.h"
#include "reader_reset.h"
#include "transaction.h"

#include "common/c_boundary.h"
#include "common/reader_protocol.h"

using namespace kvr7x;

namespace {

using namespace kvr::reader;

constexpr uint32_t kReaderTimeoutMs = 5000;

int32_t readerCommand(int32_t port, uint8_t ins, uint32_t unit, uint32_t p2, uint8_t *data,
                      uint8_t *sw1, uint8_t *sw2, int32_t *len, uint32_t timeout) {
    return sendCommand(port, kReaderCommand, 0x00, ins, unit, p2, 0x00, data, sw1, sw2, len,
                       timeout);
}

// Every export runs under one guard, so that no exception reaches the
// caller (an allocation or a thread that cannot be had): the call fails
// with KVR7X_ERR_NOT_ENOUGH_MEMORY in the last error and gives `failed`.
template <class Result, class Call>
Result guarded(Result failed, Call &&call) noexcept {
    return kvr::common::guardCall(std::forward<Call>(call), [failed](const char *) noexcept {
        setLastError(KVR7X_ERR_NOT_ENOUGH_MEMORY);
        return failed;
    });
}

const int32_t kThrown = errorResult(KVR7X_ERR_NOT_ENOUGH_MEMORY);

// The modem lines of a port; false when they cannot be read.
bool modemLines(int32_t port, uint32_t &bits) {
    const std::shared_ptr<SerialPort> p = findPort(port);
    return p && p->modemStatus(bits);
}

}  // namespace

extern "C" {

KVR7X_API int32_t KVR7X_CALL LibMain(uintptr_t, uint32_t, uint32_t, uint32_t) { return 1; }

KVR7X_API int32_t KVR7X_CALL QXSENDCOMMAND(int32_t port, uint32_t code, uint32_t cla, uint32_t ins,
                                           uint32_t p1, uint32_t p2, uint32_t p3, uint8_t *data,
                                           uint8_t *sw1, uint8_t *sw2, int32_t *len,
                                           uint32_t timeout) {
    return guarded(kThrown, [&] {
        return sendCommand(port, code, cla, ins, p1, p2, p3, data, sw1, sw2, len, timeout);
    });
}

KVR7X_API int32_t KVR7X_CALL QXICCSTATUS(int32_t port, uint32_t unit) {
    return guarded(kThrown, [&] {
        return readerCommand(port, kStatusRequest, unit, 0, nullptr, nullptr, nullptr, nullptr,
                             kReaderTimeoutMs);
    });
}

KVR7X_API int32_t KVR7X_CALL QXINSERT(int32_t port, uint32_t unit, uint32_t timeout) {
    return guarded(kThrown, [&] {
        return readerCommand(port, kInsertCard, unit, 0, nullptr, nullptr, nullptr, nullptr,
                             timeout);
    });
}

KVR7X_API int32_t KVR7X_CALL QXREMOVE(int32_t port, uint32_t unit, uint32_t timeout) {
    return guarded(kThrown, [&] {
        return readerCommand(port, kRemoveCard, unit, 0, nullptr, nullptr, nullptr, nullptr,
                             timeout);
    });
}

KVR7X_API int32_t KVR7X_CALL QXISOIN(int32_t port, uint32_t unit, uint32_t cla, uint32_t ins,
                                     uint32_t p1, uint32_t p2, uint32_t p3, uint8_t *data,
                                     uint8_t *sw1, uint8_t *sw2, uint32_t timeout) {
    return guarded(kThrown, [&] {
        if (unit > kHighestUnit) return errorResult(kErrInvalidParameter);
        // A p3 of 0 means no data block at all (not 256 bytes).
        const uint32_t base = (p3 & 0xFF) == 0 ? kIsoOut : kIsoIn;
        return sendCommand(port, base + unit, cla, ins, p1, p2, p3, data, sw1, sw2, nullptr,
                           timeout);
    });
}

KVR7X_API int32_t KVR7X_CALL QXISOOUT(int32_t port, uint32_t unit, uint32_t cla, uint32_t ins,
                                      uint32_t p1, uint32_t p2, uint32_t p3, uint8_t *data,
                                      uint8_t *sw1, uint8_t *sw2, uint32_t timeout) {
    return guarded(kThrown, [&] {
        if (unit > kHighestUnit) return errorResult(kErrInvalidParameter);
        return sendCommand(port, kIsoOut + unit, cla, ins, p1, p2, p3, data, sw1, sw2, nullptr,
                           timeout);
    });
}

KVR7X_API int32_t KVR7X_CALL QXPOWERON(int32_t port, uint32_t unit, uint32_t cardType, int32_t *len,
                                       uint8_t *data, uint8_t *sw1, uint8_t *sw2) {
    return guarded(kThrown, [&] {
        if (echoMode())
            readerCommand(port, kSelectCardType, unit, cardType, data, sw1, sw2, len,
                          kReaderTimeoutMs);
        return readerCommand(port, kActivateCard, unit, cardType, data, sw1, sw2, len,
                             kReaderTimeoutMs);
    });
}

KVR7X_API int32_t KVR7X_CALL QXPOWEROFF(int32_t port, uint32_t unit) {
    return guarded(kThrown, [&] {
        return readerCommand(port, kDeactivateCard, unit, 0, nullptr, nullptr, nullptr, nullptr,
                             kReaderTimeoutMs);
    });
}

KVR7X_API int32_t KVR7X_CALL QXRESET(int32_t port, int32_t *len, uint8_t *data) {
    return guarded(kThrown, [&] {
        std::shared_ptr<SerialPort> p = findPort(port);
        if (!p) return errorResult(kErrInvalidHandle);
        // A network port whose connection is gone is connected again first:
        // the reset is what an operator tries when the reader stops answering,
        // and a terminal server or ser2net that was restarted is there again.
        if (p->lost() && !(p = reopenPort(port, p))) return errorResult(lastError());
        return resetReader(*p, len, data);
    });
}

KVR7X_API int32_t KVR7X_CALL QXIFDSTATUS(int32_t port) {
    return guarded(int32_t{0}, [&] {
        uint32_t bits = 0;
        return modemLines(port, bits) ? static_cast<int32_t>(bits) : 0;
    });
}

KVR7X_API int32_t KVR7X_CALL QXSETPARAM(uint32_t, uint32_t, uint32_t) { return 0; }

KVR7X_API int32_t KVR7X_CALL QXGETPARAM(uint32_t, uint32_t) { return 0; }

KVR7X_API int32_t KVR7X_CALL QXCARDINSERTED(int32_t port, uint32_t unit) {
    return guarded(int32_t{0}, [&] {
        uint32_t bits = 0;
        // The unit is a byte: its low byte counts, as for the other calls.
        return (modemLines(port, bits) && (unit & 0xFFu) == 0 && (bits & kModemDsr)) ? 1 : 0;
    });
}

KVR7X_API int32_t KVR7X_CALL QXREADERPOWERED(int32_t port) {
    return guarded(int32_t{0}, [&] {
        uint32_t bits = 0;
        return (modemLines(port, bits) && (bits & kModemRlsd)) ? 1 : 0;
    });
}

KVR7X_API int32_t KVR7X_CALL QXOPEN(const char *portName) {
    return guarded(int32_t{-1}, [&] { return openReaderPort(portName); });
}

KVR7X_API int32_t KVR7X_CALL QXCLOSE(int32_t port) {
    return guarded(int32_t{0}, [&] { return closeReaderPort(port); });
}

KVR7X_API uintptr_t KVR7X_CALL QXNOTIFY(int32_t port, KVR7xNotifyTarget target, uint32_t message) {
    return guarded(uintptr_t{0}, [&] { return notifyCardChanges(port, target, message); });
}

}  // extern "C"
