#include "tty_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <thread>

#include "transfer_deadline.h"

namespace kvr7x {

uint32_t errorFromErrno(int err) {
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO: return kErrFileNotFound;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK: return kErrAccessDenied;
    case EBADF: return kErrInvalidHandle;
    case EINVAL: return kErrInvalidParameter;
    default: return kErrGenFailure;
    }
}

namespace {

bool failErrno() {
    setLastError(errorFromErrno(errno));
    return false;
}

// How often the DSR watch samples the line.
constexpr int kWatchPollMs = 5;

struct BaudEntry {
    uint32_t rate;
    speed_t code;
};
constexpr BaudEntry kBauds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

// The baud rate's speed code, when a tty has one.
std::optional<speed_t> speedCode(uint32_t rate) {
    for (const auto &b : kBauds)
        if (b.rate == rate) return b.code;
    return std::nullopt;
}

// The line settings written into a tty's attributes (byte size 5 to 8).
void applyLineSettings(const LineSettings &in, speed_t speed, termios &tio) {
    // Raw transfer: no line editing, no translation, no signals.  Reads are
    // driven by poll() on a non-blocking descriptor; VMIN 1 and VTIME 0 make
    // an empty queue read as EAGAIN (VMIN 0 would read as end of file).
    ::cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= sizes[in.byteSize - 5];
    switch (in.parity) {
    case Parity::None: break;
    case Parity::Odd: tio.c_cflag |= PARENB | PARODD; break;
    case Parity::Even: tio.c_cflag |= PARENB; break;
    case Parity::Mark: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case Parity::Space: tio.c_cflag |= PARENB | CMSPAR; break;
    }
    if (in.stopBits != StopBits::One) tio.c_cflag |= CSTOPB;
    // CLOCAL: the reader drops carrier when it loses power; that must not
    // hang the line up.  The modem lines stay readable through TIOCMGET.
    tio.c_cflag |= CREAD | CLOCAL;
    if (in.outxCtsFlow || in.rtsControl == RtsControl::Handshake) tio.c_cflag |= CRTSCTS;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
    if (in.outX) tio.c_iflag |= IXON;
    if (in.inX) tio.c_iflag |= IXOFF;
    if (in.parityCheck) tio.c_iflag |= INPCK;
}

}  // namespace

// Marks a use of the descriptor; close() waits until no use is left.
class FdUse {
public:
    explicit FdUse(TtyPort &p) : p_(p) {
        std::lock_guard lock(p_.mu_);
        ok_ = !p_.closed_;
        if (ok_) ++p_.users_;
    }
    ~FdUse() {
        if (!ok_) return;
        std::lock_guard lock(p_.mu_);
        assert(p_.users_ > 0);
        if (--p_.users_ == 0) p_.idle_.notify_all();
    }
    FdUse(const FdUse &) = delete;
    FdUse &operator=(const FdUse &) = delete;
    // False (lastError 6) when the port is closed.
    bool ok() const {
        if (!ok_) setLastError(kErrInvalidHandle);
        return ok_;
    }

private:
    TtyPort &p_;
    bool ok_ = false;
};

std::unique_ptr<TtyPort> TtyPort::open(const std::string &path) {
    kvr::common::UniqueFd device(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!device) {
        failErrno();
        return nullptr;
    }
    auto fail = [](int err) -> std::unique_ptr<TtyPort> {
        setLastError(errorFromErrno(err));
        return nullptr;
    };
    if (!::isatty(device.get())) return fail(ENOTTY);
    if (::flock(device.get(), LOCK_EX | LOCK_NB) != 0)
        return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    if (::ioctl(device.get(), TIOCEXCL) != 0) return fail(errno);
    termios found{};
    if (::tcgetattr(device.get(), &found) != 0) return fail(errno);
    int lines = 0;
    if (::ioctl(device.get(), TIOCMGET, &lines) != 0) lines = -1;
    auto wake = kvr::common::WakePipe::create();
    if (!wake) return fail(errno);
    return std::unique_ptr<TtyPort>(new TtyPort(std::move(device), std::move(*wake), found, lines));
}

TtyPort::TtyPort(kvr::common::UniqueFd device, kvr::common::WakePipe wake, const termios &found,
                 int foundLines)
    : fd_(std::move(device)), found_(found), foundLines_(foundLines), wake_(std::move(wake)) {}

bool TtyPort::restoreLine() {
    FdUse use(*this);
    if (!use.ok()) return false;
    bool ok = ::tcsetattr(fd(), TCSANOW, &found_) == 0;
    if (foundLines_ >= 0) {
        // DTR and RTS as they were; the other lines are inputs.
        int lines = 0;
        if (::ioctl(fd(), TIOCMGET, &lines) == 0) {
            lines = (lines & ~(TIOCM_DTR | TIOCM_RTS)) | (foundLines_ & (TIOCM_DTR | TIOCM_RTS));
            ok = ::ioctl(fd(), TIOCMSET, &lines) == 0 && ok;
        }
    }
    if (!ok) return failErrno();
    std::lock_guard lock(mu_);
    settings_ = LineSettings{};
    return true;
}

TtyPort::~TtyPort() {
    // Closing a port closed already would set the thread's last error over
    // the reason a failed open just left there.
    // Nothing is left to report a failing close to.
    if (!closed_.load()) (void)close();
}

bool TtyPort::stillOpen() const {
    if (!closed_) return true;
    setLastError(kErrInvalidHandle);
    return false;
}

bool TtyPort::close() {
    {
        std::unique_lock lock(mu_);
        if (!stillOpen()) return false;
        closed_ = true;
        wake_.wake();
        idle_.wait(lock, [this] { return users_ == 0; });
    }
    ::ioctl(fd(), TIOCNXCL);
    if (fd_.close() != 0) return failErrno();
    return true;
}

bool TtyPort::getLineSettings(LineSettings &out) {
    FdUse use(*this);
    if (!use.ok()) return false;
    termios tio{};
    if (::tcgetattr(fd(), &tio) != 0) return failErrno();
    std::lock_guard lock(mu_);
    LineSettings s = settings_;  // fields a tty cannot express keep their last value
    const speed_t sp = ::cfgetospeed(&tio);
    for (const auto &b : kBauds)
        if (b.code == sp) s.baudRate = b.rate;
    switch (tio.c_cflag & CSIZE) {
    case CS5: s.byteSize = 5; break;
    case CS6: s.byteSize = 6; break;
    case CS7: s.byteSize = 7; break;
    default: s.byteSize = 8; break;
    }
    if (!(tio.c_cflag & PARENB))
        s.parity = Parity::None;
    else if (tio.c_cflag & CMSPAR)
        s.parity = (tio.c_cflag & PARODD) ? Parity::Mark : Parity::Space;
    else
        s.parity = (tio.c_cflag & PARODD) ? Parity::Odd : Parity::Even;
    if (tio.c_cflag & CSTOPB) {
        if (s.stopBits == StopBits::One) s.stopBits = StopBits::Two;
    } else {
        s.stopBits = StopBits::One;
    }
    s.parityCheck = (tio.c_iflag & INPCK) != 0;
    s.outxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
    s.outX = (tio.c_iflag & IXON) != 0;
    s.inX = (tio.c_iflag & IXOFF) != 0;
    int lines = 0;
    if (::ioctl(fd(), TIOCMGET, &lines) == 0 && s.dtrControl != DtrControl::Handshake)
        s.dtrControl = (lines & TIOCM_DTR) ? DtrControl::Enable : DtrControl::Disable;
    out = s;
    return true;
}

bool TtyPort::setLineSettings(const LineSettings &in) {
    FdUse use(*this);
    if (!use.ok()) return false;
    const std::optional<speed_t> speed = speedCode(in.baudRate);
    if (!speed || in.byteSize < 5 || in.byteSize > 8) {
        setLastError(kErrInvalidParameter);
        return false;
    }
    termios tio{};
    if (::tcgetattr(fd(), &tio) != 0) return failErrno();
    applyLineSettings(in, *speed, tio);
    if (::tcsetattr(fd(), TCSANOW, &tio) != 0) return failErrno();

    int dtr = TIOCM_DTR;
    if (::ioctl(fd(), in.dtrControl == DtrControl::Disable ? TIOCMBIC : TIOCMBIS, &dtr) != 0)
        return failErrno();
    if (in.rtsControl != RtsControl::Handshake) {
        int rts = TIOCM_RTS;
        if (::ioctl(fd(), in.rtsControl == RtsControl::Disable ? TIOCMBIC : TIOCMBIS, &rts) != 0)
            return failErrno();
    }
    std::lock_guard lock(mu_);
    settings_ = in;
    return true;
}

bool TtyPort::getTimeouts(Timeouts &out) {
    std::lock_guard lock(mu_);
    if (!stillOpen()) return false;
    out = timeouts_;
    return true;
}

bool TtyPort::setTimeouts(const Timeouts &in) {
    std::lock_guard lock(mu_);
    if (!stillOpen()) return false;
    timeouts_ = in;
    return true;
}

bool TtyPort::purgeTx() {
    FdUse use(*this);
    if (!use.ok()) return false;
    return ::tcflush(fd(), TCOFLUSH) == 0 || failErrno();
}

bool TtyPort::purgeRx() {
    FdUse use(*this);
    if (!use.ok()) return false;
    return ::tcflush(fd(), TCIFLUSH) == 0 || failErrno();
}

bool TtyPort::write(const uint8_t *buf, size_t n, size_t &written) {
    written = 0;
    FdUse use(*this);
    if (!use.ok()) return false;
    Timeouts t;
    LineSettings line;
    {
        std::lock_guard lock(mu_);
        t = timeouts_;
        line = settings_;
    }
    const WriteDeadline dl(t, n, DeadlineClock::now());
    while (written < n) {
        const ssize_t r = ::write(fd(), buf + written, n - written);
        if (r > 0) {
            written += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno != EAGAIN) return failErrno();
        const auto now = DeadlineClock::now();
        if (dl.expired(now)) break;
        pollfd fds[2] = {{fd(), POLLOUT, 0}, {wake_.readFd(), POLLIN, 0}};
        if (::poll(fds, 2, dl.waitMs(now)) < 0 && errno != EINTR) return failErrno();
        if (fds[1].revents) {
            setLastError(kErrOperationAborted);
            return false;
        }
        if (fds[0].revents & (POLLERR | POLLNVAL)) {
            setLastError(kErrGenFailure);
            return false;
        }
    }
    if (!drain(dl, line, written)) return false;
    setLastError(kErrTimeout);
    return true;
}

bool TtyPort::drain(const WriteDeadline &dl, const LineSettings &line, size_t &written) {
    // A write is done when its bytes have left the transmitter, not when the
    // kernel has queued them: the reader's reply time starts only then.
    // tcdrain() alone could wait for ever (a line held by flow control), so
    // the queue is watched under the write's own time limit and tcdrain()
    // only waits out the last character.
    for (;;) {
        int queued = 0;
        if (::ioctl(fd(), TIOCOUTQ, &queued) != 0 || queued <= 0) {
            while (::tcdrain(fd()) != 0) {
                if (errno != EINTR) return failErrno();
            }
            return true;
        }
        const auto now = DeadlineClock::now();
        if (dl.expired(now)) {
            // Out of time: what is still queued did not go out.
            written -= std::min(written, static_cast<size_t>(queued));
            return true;
        }
        const auto leftMs = std::chrono::duration_cast<std::chrono::milliseconds>(
            wireTime(line, static_cast<size_t>(queued)));
        int wait = static_cast<int>(std::clamp<int64_t>(leftMs.count(), 1, 1000));
        if (const int limit = dl.waitMs(now); limit >= 0) wait = std::min(wait, std::max(limit, 1));
        pollfd wake{wake_.readFd(), POLLIN, 0};
        const int r = ::poll(&wake, 1, wait);
        if (r < 0 && errno != EINTR) return failErrno();
        if (r > 0) {
            setLastError(kErrOperationAborted);
            return false;
        }
    }
}

bool TtyPort::read(uint8_t *buf, size_t n, size_t &got) {
    got = 0;
    FdUse use(*this);
    if (!use.ok()) return false;
    Timeouts t;
    {
        std::lock_guard lock(mu_);
        t = timeouts_;
    }
    ReadDeadline dl(t, n, DeadlineClock::now());
    while (got < n) {
        const ssize_t r = ::read(fd(), buf + got, n - got);
        if (r > 0) {
            got += static_cast<size_t>(r);
            dl.bytesArrived(DeadlineClock::now());
            if (dl.endsOnFirstByte()) break;
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r == 0 || (r < 0 && errno != EAGAIN)) {
            // End of file on a tty: the line was hung up.
            setLastError(r == 0 ? kErrGenFailure : errorFromErrno(errno));
            return false;
        }
        const auto now = DeadlineClock::now();
        if (dl.expired(now)) break;
        pollfd fds[2] = {{fd(), POLLIN, 0}, {wake_.readFd(), POLLIN, 0}};
        if (::poll(fds, 2, dl.waitMs(now)) < 0 && errno != EINTR) return failErrno();
        if (fds[1].revents) {
            setLastError(kErrOperationAborted);
            return false;
        }
        if ((fds[0].revents & (POLLERR | POLLNVAL)) ||
            ((fds[0].revents & POLLHUP) && !(fds[0].revents & POLLIN))) {
            setLastError(kErrGenFailure);
            return false;
        }
    }
    setLastError(kErrTimeout);
    return true;
}

bool TtyPort::setRts(bool on) {
    FdUse use(*this);
    if (!use.ok()) return false;
    int rts = TIOCM_RTS;
    return ::ioctl(fd(), on ? TIOCMBIS : TIOCMBIC, &rts) == 0 || failErrno();
}

bool TtyPort::modemStatus(uint32_t &bits) {
    FdUse use(*this);
    if (!use.ok()) return false;
    int lines = 0;
    if (::ioctl(fd(), TIOCMGET, &lines) != 0) return failErrno();
    bits = ((lines & TIOCM_CTS) ? kModemCts : 0) | ((lines & TIOCM_DSR) ? kModemDsr : 0) |
           ((lines & TIOCM_RNG) ? kModemRing : 0) | ((lines & TIOCM_CAR) ? kModemRlsd : 0);
    return true;
}

bool TtyPort::dsrMark(uint64_t &mark) {
    if (haveCounters_) {
        serial_icounter_struct c{};
        if (::ioctl(fd(), TIOCGICOUNT, &c) != 0) return failErrno();
        mark = static_cast<uint32_t>(c.dsr);
        return true;
    }
    int lines = 0;
    if (::ioctl(fd(), TIOCMGET, &lines) != 0) return failErrno();
    mark = (lines & TIOCM_DSR) ? 1 : 0;
    return true;
}

bool TtyPort::watchDsr() {
    FdUse use(*this);
    if (!use.ok()) return false;
    int lines = 0;
    if (::ioctl(fd(), TIOCMGET, &lines) != 0) return failErrno();
    serial_icounter_struct c{};
    haveCounters_ = ::ioctl(fd(), TIOCGICOUNT, &c) == 0;
    uint64_t mark = 0;
    if (!dsrMark(mark)) return false;
    std::lock_guard lock(mu_);
    // Changes count from here on, also those that happen while no wait runs.
    dsrSeen_ = mark;
    watching_ = true;
    return true;
}

bool TtyPort::waitDsrChange() {
    FdUse use(*this);
    if (!use.ok()) return false;
    uint64_t start = 0;
    {
        std::lock_guard lock(mu_);
        if (!watching_) {
            setLastError(kErrInvalidParameter);
            return false;
        }
        // A change since the last wait ended (while the caller was busy
        // reporting it) ends this wait at once rather than being lost.
        start = dsrSeen_;
    }
    for (;;) {
        pollfd wake{wake_.readFd(), POLLIN, 0};
        const int r = ::poll(&wake, 1, kWatchPollMs);
        if (r < 0 && errno != EINTR) return failErrno();
        if (r > 0) {
            setLastError(kErrOperationAborted);
            return false;
        }
        uint64_t now = 0;
        if (!dsrMark(now)) return false;
        if (now != start) {
            std::lock_guard lock(mu_);
            dsrSeen_ = now;
            return true;
        }
    }
}

}  // namespace kvr7x
