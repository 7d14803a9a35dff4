// libifdkvr7x.so: the KVR7x reader as a PC/SC reader.  pcscd loads this IFD
// handler (pcsc-lite API version 3) for every reader.conf entry that names
// it; the entry's DEVICENAME is any port name QXOPEN takes: COM1..COM9 (the
// driver's port map of the user pcscd runs as), /dev/ttyUSB0, or
// rfc2217://HOST:PORT for a network serial port or the reader emulator.
//
// Calls and what they do with the reader (unit 0, the card slot):
//   IFDHCreateChannelByName  QXOPEN, then QXRESET to learn the reader's
//                            identification (and so its echo mode)
//   IFDHCreateChannel        channel n (1..9) is the port name COMn
//   IFDHCloseChannel         QXPOWEROFF, QXCLOSE
//   IFDHICCPresence          card-detect line (DSR) while the carrier is on;
//                            a lost line is reopened (reader_slot.h)
//   IFDHPowerICC             up: QXPOWERON, asynchronous card type 00, whose
//                            reply data are the ATR; down: QXPOWEROFF; reset:
//                            QXRESET, then QXPOWERON
//   IFDHTransmitToICC        the ISO 7816-4 cases over ISO IN / ISO OUT
//                            transactions as apdu_transport.h tabulates, with
//                            GET RESPONSE after 61xx for case 4
//   IFDHSetProtocolParameters  T=0 accepted (the reader settles the card's
//                            transmission parameters itself), others refused
//   IFDHGetCapabilities      ATR, one slot, up to 16 readers, not thread safe
//   IFDHSetCapabilities      nothing to set
//   IFDHControl              the feature request lists no features; no
//                            other control codes
//
// Errors are IFD codes (ifd_result.h): a reader that does not answer is
// IFD_RESPONSE_TIMEOUT, a reader status byte other than 00 the code that
// matches it; no status word is ever made up.
//
// No exception leaves an entry point (it would take pcscd down): each runs
// under one guard that logs what was thrown (an allocation that failed, a
// thread that could not be made) and gives IFD_COMMUNICATION_ERROR.
//
// Threads: pcscd calls from one thread per reader and per client.  The
// driver's frame buffer and echo flag are process-wide, so every call of
// every reader runs under one lock (reader_table.h), and the handler says
// so (TAG_IFD_THREAD_SAFE 0).
#include <cstring>
#include <string>
#include <vector>

#include "common/c_boundary.h"
#include "handler_log.h"
#include "ifd_api.h"
#include "reader_table.h"

using kvr7x::pcsc::ReaderSlot;
using kvr7x::pcsc::ReaderTable;

namespace {

// The handler's API names readers by number only; this is the one table the
// process keeps of them.  It is never destroyed: pcscd may end the process
// while its reader threads still call in, and the driver's own tables go
// away at exit before a destructor here could close the ports; the system
// closes them.
ReaderTable &readers() {
    static ReaderTable *const table = new ReaderTable;
    return *table;
}

// Runs an entry point's body; an exception is a communication error.
template <class Call>
RESPONSECODE guarded(const char *entry, Call &&call) noexcept {
    return kvr::common::guardCall(std::forward<Call>(call), [entry](const char *what) noexcept {
        kvr7x::pcsc::logMessage(kvr7x::pcsc::LogLevel::Critical, "%s failed: %s", entry, what);
        return RESPONSECODE{IFD_COMMUNICATION_ERROR};
    });
}

RESPONSECODE giveByte(UCHAR value, PDWORD length, PUCHAR out) {
    if (!length || !out || *length < 1) return IFD_ERROR_INSUFFICIENT_BUFFER;
    out[0] = value;
    *length = 1;
    return IFD_SUCCESS;
}

}  // namespace

RESPONSECODE IFDHCreateChannelByName(DWORD Lun, LPSTR DeviceName) {
    return guarded("IFDHCreateChannelByName", [&]() -> RESPONSECODE {
        if (!DeviceName) return IFD_COMMUNICATION_ERROR;
        std::lock_guard lock(readers().lock());
        return readers().create(Lun, DeviceName);
    });
}

RESPONSECODE IFDHCreateChannel(DWORD Lun, DWORD Channel) {
    return guarded("IFDHCreateChannel", [&]() -> RESPONSECODE {
        if (Channel < 1 || Channel > 9) return IFD_COMMUNICATION_ERROR;
        std::lock_guard lock(readers().lock());
        return readers().create(Lun, "COM" + std::to_string(Channel));
    });
}

RESPONSECODE IFDHCloseChannel(DWORD Lun) {
    return guarded("IFDHCloseChannel", [&]() -> RESPONSECODE {
        std::lock_guard lock(readers().lock());
        return readers().close(Lun);
    });
}

RESPONSECODE IFDHGetCapabilities(DWORD Lun, DWORD Tag, PDWORD Length, PUCHAR Value) {
    return guarded("IFDHGetCapabilities", [&]() -> RESPONSECODE {
        std::lock_guard lock(readers().lock());
        ReaderSlot *slot = readers().find(Lun);
        if (!slot) return IFD_NO_SUCH_DEVICE;
        switch (Tag) {
        case TAG_IFD_ATR:
        case SCARD_ATTR_ATR_STRING: {
            const std::vector<uint8_t> &atr = slot->atr();
            if (!Length || (!Value && !atr.empty()) || *Length < atr.size()) return IFD_ERROR_INSUFFICIENT_BUFFER;
            if (!atr.empty()) std::memcpy(Value, atr.data(), atr.size());
            *Length = atr.size();
            return IFD_SUCCESS;
        }
        case TAG_IFD_SIMULTANEOUS_ACCESS: return giveByte(ReaderTable::kMaxReaders, Length, Value);
        case TAG_IFD_SLOTS_NUMBER: return giveByte(1, Length, Value);
        case TAG_IFD_THREAD_SAFE:
        case TAG_IFD_SLOT_THREAD_SAFE: return giveByte(0, Length, Value);
        default: return IFD_ERROR_TAG;
        }
    });
}

RESPONSECODE IFDHSetCapabilities(DWORD Lun, DWORD, DWORD, PUCHAR) {
    return guarded("IFDHSetCapabilities", [&]() -> RESPONSECODE {
        std::lock_guard lock(readers().lock());
        return readers().find(Lun) ? IFD_ERROR_TAG : IFD_NO_SUCH_DEVICE;
    });
}

RESPONSECODE IFDHSetProtocolParameters(DWORD Lun, DWORD Protocol, UCHAR, UCHAR, UCHAR, UCHAR) {
    return guarded("IFDHSetProtocolParameters", [&]() -> RESPONSECODE {
        std::lock_guard lock(readers().lock());
        if (!readers().find(Lun)) return IFD_NO_SUCH_DEVICE;
        return Protocol == SCARD_PROTOCOL_T0 ? IFD_SUCCESS : IFD_PROTOCOL_NOT_SUPPORTED;
    });
}

RESPONSECODE IFDHPowerICC(DWORD Lun, DWORD Action, PUCHAR Atr, PDWORD AtrLength) {
    return guarded("IFDHPowerICC", [&]() -> RESPONSECODE {
        std::lock_guard lock(readers().lock());
        ReaderSlot *slot = readers().find(Lun);
        if (!slot) return IFD_NO_SUCH_DEVICE;
        std::vector<uint8_t> atr;
        const RESPONSECODE rc = slot->power(Action, atr);
        if (AtrLength) {
            const bool fits = Atr && atr.size() <= MAX_ATR_SIZE;
            if (fits && !atr.empty()) std::memcpy(Atr, atr.data(), atr.size());
            *AtrLength = fits ? atr.size() : 0;
        }
        return rc;
    });
}

RESPONSECODE IFDHTransmitToICC(DWORD Lun, SCARD_IO_HEADER SendPci, PUCHAR TxBuffer, DWORD TxLength, PUCHAR RxBuffer,
                               PDWORD RxLength, PSCARD_IO_HEADER RecvPci) {
    return guarded("IFDHTransmitToICC", [&]() -> RESPONSECODE {
        const DWORD room = RxLength ? *RxLength : 0;
        if (RxLength) *RxLength = 0;
        std::lock_guard lock(readers().lock());
        ReaderSlot *slot = readers().find(Lun);
        if (!slot) return IFD_NO_SUCH_DEVICE;
        if (!TxBuffer || !RxBuffer || !RxLength) return IFD_COMMUNICATION_ERROR;
        std::vector<uint8_t> response;
        const RESPONSECODE rc = slot->transmit(TxBuffer, TxLength, response);
        if (rc != IFD_SUCCESS) return rc;
        if (response.size() > room) return IFD_ERROR_INSUFFICIENT_BUFFER;
        std::memcpy(RxBuffer, response.data(), response.size());
        *RxLength = response.size();
        if (RecvPci) RecvPci->Protocol = SendPci.Protocol;
        return IFD_SUCCESS;
    });
}

RESPONSECODE IFDHControl(DWORD Lun, DWORD dwControlCode, PUCHAR, DWORD, PUCHAR, DWORD, LPDWORD pdwBytesReturned) {
    return guarded("IFDHControl", [&]() -> RESPONSECODE {
        if (pdwBytesReturned) *pdwBytesReturned = 0;
        std::lock_guard lock(readers().lock());
        if (!readers().find(Lun)) return IFD_NO_SUCH_DEVICE;
        // Asked for its features (PIN pad and the like), the reader lists none.
        return dwControlCode == CM_IOCTL_GET_FEATURE_REQUEST ? IFD_SUCCESS : IFD_ERROR_NOT_SUPPORTED;
    });
}

RESPONSECODE IFDHICCPresence(DWORD Lun) {
    return guarded("IFDHICCPresence", [&]() -> RESPONSECODE {
        std::lock_guard lock(readers().lock());
        ReaderSlot *slot = readers().find(Lun);
        if (!slot) return IFD_NO_SUCH_DEVICE;
        return slot->presence();
    });
}
