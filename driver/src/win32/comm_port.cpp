#include "win32/comm_port.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>

namespace kvr7x {

namespace {

bool failWith(DWORD code) {
    setLastError(code == 0 ? kErrGenFailure : static_cast<uint32_t>(code));
    return false;
}

bool failLast() { return failWith(GetLastError()); }

class CommPort final : public SerialPort {
public:
    CommPort(HANDLE h, const DCB &found, bool foundRead, bool modemLines)
        : h_(h), found_(found), foundRead_(foundRead), modemLines_(modemLines) {}
    ~CommPort() override {
        bool open = false;
        {
            std::lock_guard lock(mu_);
            open = !closed_;
        }
        // Nothing is left to report a failing close to.
        if (open) (void)close();
    }

    [[nodiscard]] bool getLineSettings(LineSettings &out) override;
    [[nodiscard]] bool setLineSettings(const LineSettings &in) override;
    [[nodiscard]] bool getTimeouts(Timeouts &out) override;
    [[nodiscard]] bool setTimeouts(const Timeouts &in) override;
    [[nodiscard]] bool purgeTx() override;
    [[nodiscard]] bool purgeRx() override;
    [[nodiscard]] bool write(const uint8_t *buf, size_t n, size_t &written) override;
    [[nodiscard]] bool read(uint8_t *buf, size_t n, size_t &got) override;
    [[nodiscard]] bool setRts(bool on) override;
    [[nodiscard]] bool modemStatus(uint32_t &bits) override;
    [[nodiscard]] bool watchDsr() override;
    [[nodiscard]] bool waitDsrChange() override;
    [[nodiscard]] bool restoreLine() override;
    [[nodiscard]] bool close() override;

private:
    // Holds the handle open for one operation; a close waits for it.
    class Use {
    public:
        explicit Use(CommPort &p) : p_(p) {
            std::lock_guard lock(p_.mu_);
            ok_ = !p_.closed_;
            if (ok_)
                ++p_.users_;
            else
                setLastError(kErrInvalidHandle);
        }
        ~Use() {
            if (!ok_) return;
            std::lock_guard lock(p_.mu_);
            if (--p_.users_ == 0) p_.idle_.notify_all();
        }
        Use(const Use &) = delete;
        Use &operator=(const Use &) = delete;
        bool ok() const { return ok_; }

    private:
        CommPort &p_;
        bool ok_ = false;
    };

    // One overlapped transfer on an event of its own, waited for without a
    // limit: the port's time-outs end it.
    bool transfer(bool out, void *buf, size_t n, size_t &moved);

    HANDLE h_;
    const DCB found_;  // the line settings at open
    const bool foundRead_;
    // A device without modem lines (a pseudo-terminal that Wine offers as
    // a COM port) has its lines treated as the POSIX tty layer treats lines
    // it cannot read: the modem status fails, so the queries give 0 and a
    // DSR watch cannot start.  RTS, which it does not have, cannot reset a
    // reader: setting it is skipped, so that the open and the data path
    // work (the POSIX layer refuses such a device when it sets DTR).
    const bool modemLines_;
    std::mutex mu_;
    std::condition_variable idle_;
    int users_ = 0;
    bool closed_ = false;
    bool watching_ = false;
};

bool CommPort::getLineSettings(LineSettings &out) {
    Use use(*this);
    if (!use.ok()) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h_, &dcb)) return failLast();
    out.baudRate = dcb.BaudRate;
    out.byteSize = dcb.ByteSize;
    out.parity = static_cast<Parity>(dcb.Parity);
    out.stopBits = static_cast<StopBits>(dcb.StopBits);
    out.binary = dcb.fBinary != 0;
    out.parityCheck = dcb.fParity != 0;
    out.outxCtsFlow = dcb.fOutxCtsFlow != 0;
    out.outxDsrFlow = dcb.fOutxDsrFlow != 0;
    out.dtrControl = static_cast<DtrControl>(dcb.fDtrControl);
    out.dsrSensitivity = dcb.fDsrSensitivity != 0;
    out.txContinueOnXoff = dcb.fTXContinueOnXoff != 0;
    out.outX = dcb.fOutX != 0;
    out.inX = dcb.fInX != 0;
    out.nullStrip = dcb.fNull != 0;
    out.rtsControl = static_cast<RtsControl>(dcb.fRtsControl);
    return true;
}

bool CommPort::setLineSettings(const LineSettings &in) {
    Use use(*this);
    if (!use.ok()) return false;
    // The port's current record, so that the fields not set here (flow
    // control limits and characters, error replacement, abort on error)
    // keep their values.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h_, &dcb)) return failLast();
    dcb.BaudRate = in.baudRate;
    dcb.ByteSize = in.byteSize;
    dcb.Parity = static_cast<BYTE>(in.parity);
    dcb.StopBits = static_cast<BYTE>(in.stopBits);
    dcb.fBinary = in.binary;
    dcb.fParity = in.parityCheck;
    dcb.fOutxCtsFlow = in.outxCtsFlow;
    dcb.fOutxDsrFlow = in.outxDsrFlow;
    dcb.fDtrControl = static_cast<DWORD>(in.dtrControl);
    dcb.fDsrSensitivity = in.dsrSensitivity;
    dcb.fTXContinueOnXoff = in.txContinueOnXoff;
    dcb.fOutX = in.outX;
    dcb.fInX = in.inX;
    dcb.fNull = in.nullStrip;
    dcb.fRtsControl = static_cast<DWORD>(in.rtsControl);
    if (!SetCommState(h_, &dcb)) return failLast();
    return true;
}

bool CommPort::getTimeouts(Timeouts &out) {
    Use use(*this);
    if (!use.ok()) return false;
    COMMTIMEOUTS t{};
    if (!GetCommTimeouts(h_, &t)) return failLast();
    out = {t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
           t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
    return true;
}

bool CommPort::setTimeouts(const Timeouts &in) {
    Use use(*this);
    if (!use.ok()) return false;
    COMMTIMEOUTS t{in.readInterval, in.readMultiplier, in.readConstant, in.writeMultiplier,
                   in.writeConstant};
    return SetCommTimeouts(h_, &t) || failLast();
}

bool CommPort::purgeTx() {
    Use use(*this);
    if (!use.ok()) return false;
    return PurgeComm(h_, PURGE_TXCLEAR) || failLast();
}

bool CommPort::purgeRx() {
    Use use(*this);
    if (!use.ok()) return false;
    return PurgeComm(h_, PURGE_RXCLEAR) || failLast();
}

bool CommPort::transfer(bool out, void *buf, size_t n, size_t &moved) {
    moved = 0;
    HANDLE ev = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!ev) return failLast();
    OVERLAPPED ov{};
    ov.hEvent = ev;
    const DWORD count = static_cast<DWORD>(n);
    const BOOL started =
        out ? WriteFile(h_, buf, count, nullptr, &ov) : ReadFile(h_, buf, count, nullptr, &ov);
    DWORD error = 0;
    if (!started) {
        error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            error = 0;
            if (WaitForSingleObject(ev, INFINITE) != WAIT_OBJECT_0) error = GetLastError();
        }
    }
    DWORD done = 0;
    if (error == 0 && !GetOverlappedResult(h_, &ov, &done, FALSE)) error = GetLastError();
    CloseHandle(ev);
    if (error == ERROR_TIMEOUT) {
        // Ended short by the port's time-outs, which some serial drivers
        // (Wine's among them) report as a failure: the bytes that came are
        // in the record, and running out of time is no failure of the line.
        error = 0;
        done = static_cast<DWORD>(ov.InternalHigh);
    }
    if (error != 0) return failWith(error);
    moved = done;
    setLastError(kErrTimeout);
    return true;
}

bool CommPort::write(const uint8_t *buf, size_t n, size_t &written) {
    Use use(*this);
    if (!use.ok()) return false;
    if (!transfer(true, const_cast<uint8_t *>(buf), n, written)) return false;
    // Until the bytes have left the line; the reply's time-out begins then.
    // A device that cannot tell has taken them, which the write said.
    if (written > 0) FlushFileBuffers(h_);
    setLastError(kErrTimeout);
    return true;
}

bool CommPort::read(uint8_t *buf, size_t n, size_t &got) {
    Use use(*this);
    if (!use.ok()) return false;
    return transfer(false, buf, n, got);
}

bool CommPort::setRts(bool on) {
    Use use(*this);
    if (!use.ok()) return false;
    if (!modemLines_) return true;
    return EscapeCommFunction(h_, on ? SETRTS : CLRRTS) || failLast();
}

bool CommPort::modemStatus(uint32_t &bits) {
    Use use(*this);
    if (!use.ok()) return false;
    DWORD status = 0;
    if (!GetCommModemStatus(h_, &status)) return failLast();
    bits = status & (kModemCts | kModemDsr | kModemRing | kModemRlsd);
    return true;
}

bool CommPort::watchDsr() {
    Use use(*this);
    if (!use.ok()) return false;
    if (!modemLines_) return failWith(ERROR_NOT_SUPPORTED);
    if (!SetCommMask(h_, EV_DSR)) return failLast();
    std::lock_guard lock(mu_);
    watching_ = true;
    return true;
}

bool CommPort::waitDsrChange() {
    Use use(*this);
    if (!use.ok()) return false;
    {
        std::lock_guard lock(mu_);
        if (!watching_) return failWith(ERROR_INVALID_PARAMETER);
    }
    HANDLE ev = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!ev) return failLast();
    OVERLAPPED ov{};
    ov.hEvent = ev;
    DWORD mask = 0;
    DWORD error = 0;
    if (!WaitCommEvent(h_, &mask, &ov)) {
        error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            error = 0;
            DWORD done = 0;
            if (WaitForSingleObject(ev, INFINITE) != WAIT_OBJECT_0)
                error = GetLastError();
            else if (!GetOverlappedResult(h_, &ov, &done, FALSE))
                error = GetLastError();
        } else if (error == ERROR_INVALID_HANDLE || error == ERROR_INVALID_PARAMETER) {
            CloseHandle(ev);
            return failWith(error);  // the wait could not begin
        }
    }
    CloseHandle(ev);
    bool closed = false;
    {
        std::lock_guard lock(mu_);
        closed = closed_;
    }
    // Which event ended the wait is not looked at; a close ended it when
    // the port is closed now.
    if (closed) return failWith(ERROR_OPERATION_ABORTED);
    if (error != 0) return failWith(error);
    return true;
}

bool CommPort::restoreLine() {
    Use use(*this);
    if (!use.ok()) return false;
    if (!foundRead_) return failWith(ERROR_INVALID_PARAMETER);
    DCB dcb = found_;
    return SetCommState(h_, &dcb) || failLast();
}

bool CommPort::close() {
    bool watching = false;
    {
        std::lock_guard lock(mu_);
        if (closed_) return failWith(ERROR_INVALID_HANDLE);
        closed_ = true;
        watching = watching_;
    }
    // End what runs on the handle: a DSR wait ends when the mask changes,
    // any transfer when its I/O is cancelled.  Then wait for them to leave.
    if (watching) SetCommMask(h_, 0);
    CancelIoEx(h_, nullptr);
    {
        std::unique_lock lock(mu_);
        idle_.wait(lock, [this] { return users_ == 0; });
    }
    return CloseHandle(h_) || failLast();
}

}  // namespace

std::unique_ptr<SerialPort> openCommPort(const std::string &name) {
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        failLast();
        return nullptr;
    }
    DCB found{};
    found.DCBlength = sizeof found;
    const bool foundRead = GetCommState(h, &found) != 0;
    DWORD status = 0;
    const bool modemLines = GetCommModemStatus(h, &status) != 0;
    return std::make_unique<CommPort>(h, found, foundRead, modemLines);
}

}  // namespace kvr7x
