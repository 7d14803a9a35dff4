#include "port_open.h"

#include <mutex>

#include "device_port.h"
#include "port_table.h"
#include "reader_reset.h"
#include "rfc2217/rfc2217_port.h"
#include "transaction.h"

namespace kvr7x {

namespace {

std::mutex g_openerMu;
PortOpener g_opener;

std::unique_ptr<SerialPort> openTarget(const PortTarget &t) {
    {
        std::lock_guard lock(g_openerMu);
        if (g_opener) return g_opener(t);
    }
    if (t.kind == PortTarget::Kind::Network) return openRfc2217Port(t.address);
    return openDevicePort(t.address);
}

// The fields the reader needs; every other field keeps the port's value.
void applyReaderLine(LineSettings &s) {
    s.baudRate = 9600;
    s.byteSize = 8;
    s.parity = Parity::None;
    s.stopBits = StopBits::One;
    s.binary = true;
    s.parityCheck = false;
    s.outxCtsFlow = false;
    s.outxDsrFlow = false;
    s.dtrControl = DtrControl::Enable;
    s.dsrSensitivity = false;
    s.txContinueOnXoff = true;
    s.outX = false;
    s.inX = false;
    s.nullStrip = false;
    s.rtsControl = RtsControl::Enable;
}

// Gives a port just opened the reader's line: its settings, RTS low (the
// reset pulse raises it for 10 ms) and the base time-outs.  On failure the
// line is given back as it was found and the port closed, with the failed
// step's code as the last error.
bool prepareLine(SerialPort &port) {
    auto fail = [&port] {
        const uint32_t code = lastError();
        // The failed step's code is the one reported, not how the
        // restore and the close went.
        (void)port.restoreLine();
        (void)port.close();
        setLastError(code);
        return false;
    };
    LineSettings line;
    if (!port.getLineSettings(line)) return fail();
    applyReaderLine(line);
    if (!port.setLineSettings(line)) return fail();
    if (!port.setRts(false)) return fail();
    if (!port.setTimeouts(kBaseTimeouts)) return fail();
    return true;
}

}  // namespace

void setPortOpener(PortOpener opener) {
    std::lock_guard lock(g_openerMu);
    g_opener = std::move(opener);
}

int32_t openReaderPort(const char *name) {
    setLastErrorText({});
    const auto target = resolvePortName(name);
    if (!target) {
        setLastError(kErrFileNotFound);
        return -1;
    }
    TargetClaim claim(target->identities());
    if (!claim.held()) {
        setLastError(kErrAccessDenied);
        return -1;
    }
    // A full table fails the open before the line is touched.
    PortSlot slot;
    if (!slot.held()) {
        setLastError(kErrTooManyPorts);
        return -1;
    }
    std::shared_ptr<SerialPort> port = openTarget(*target);
    if (!port || !prepareLine(*port)) return -1;

    // The probe: a reader that does not answer still leaves the port open,
    // so its result does not matter.
    (void)resetReader(*port, nullptr, nullptr);

    return slot.place(std::move(port), &claim, *target);
}

std::shared_ptr<SerialPort> reopenPort(int32_t handle, const std::shared_ptr<SerialPort> &current) {
    const std::optional<PortTarget> target = targetOf(handle);
    if (!target) {
        setLastError(kErrInvalidHandle);
        return nullptr;
    }
    std::shared_ptr<SerialPort> port = openTarget(*target);
    if (!port || !prepareLine(*port)) return nullptr;
    if (!replacePort(handle, current, port)) {
        // Closed (or opened again) by another thread meanwhile; the
        // invalid handle is what the caller hears, not the close.
        (void)port->close();
        setLastError(kErrInvalidHandle);
        return nullptr;
    }
    // The replaced port is gone from the table; nobody is left to hear
    // whether it closed cleanly.
    (void)current->close();
    return port;
}

int32_t closeReaderPort(int32_t handle) { return closePort(handle) ? 1 : 0; }

}  // namespace kvr7x
