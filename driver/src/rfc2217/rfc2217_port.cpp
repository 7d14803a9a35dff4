// Network serial port over TCP with the telnet COM-PORT option.
//
// One thread at a time waits on the socket; whichever thread then reads
// it takes telnet commands out of the stream and puts the data bytes into
// a receive queue in the same step, under the port's lock, so the queue
// holds them in the socket's order and nothing read is ever held outside
// it where a purge cannot reach it.  Reads follow the same
// time-out rules as a local tty.  A read that waits for bytes reads the
// socket itself when nobody else is on it: a reply costs the calling thread
// a poll and a recv and wakes no other thread.  While nobody uses the port,
// a background thread watches the socket, so that modem-state
// notifications, option negotiation and the end of the connection are seen
// at once.  It leaves the socket to the callers while they use it and comes
// back once they have left it alone for a moment (kIdle): a run of
// transactions wakes it only that often.  A read that finds it on the
// socket waits for what it hands over (woken only by data, a modem-state
// change or the end of the connection, never by the server's
// acknowledgements), and then reads on by itself.  Whatever came while
// nobody read, or what the background thread has seen come and not read
// yet, is taken in before a purge, a modem-status query or the check for a
// lost connection, so none of them misses it.
//
// Everything the port sends (data and COM-PORT commands) goes out at once
// and nothing ever waits for an acknowledgement, with one exception: purges
// are owed until the next thing sent, and go out as one PURGE-DATA in the
// same segment (a transaction's purges and its header make one TCP segment,
// not three).
//
// The far end's line cannot be watched from here, so the port works out
// when written data has left it: each write keeps the line busy for the
// data's wire time at the port's line settings, after whatever was still
// going out.  A read's time limits begin when the line is free, as they
// would after a local port has drained its transmitter; nothing sleeps.
#include "rfc2217/rfc2217_port.h"

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "rfc2217/client_protocol.h"
#include "rfc2217/socket_io.h"
#include "rfc2217/tcp_connect.h"
#include "telnet/host_port.h"
#include "telnet/telnet_codec.h"
#include "transfer_deadline.h"

namespace kvr7x {

namespace {

using namespace rfc2217;
using namespace telnet;

constexpr auto kConnectLimit = std::chrono::milliseconds(3000);
// How long open waits for the server to answer the COM-PORT offer.  A server
// that refuses a second client by closing the connection shows up here; a
// server that never answers is used anyway once this has passed.
constexpr auto kGreetingLimit = std::chrono::milliseconds(1000);
// Limit for sending a COM-PORT command or a telnet answer.
constexpr Timeouts kControlTimeouts{0, 0, 0, 0, 1000};
WriteDeadline controlDeadline() { return WriteDeadline(kControlTimeouts, 0, DeadlineClock::now()); }
// Received data beyond this is dropped, as a UART drops bytes on overrun.
constexpr size_t kReceiveQueueLimit = size_t{64} * 1024;
// Bytes taken from the socket at a time.
constexpr size_t kChunkSize = 4096;
// How long the callers must have left the socket alone before the
// background thread watches it again, and so how late, at most, it sees
// what comes between transactions that follow each other closely.
constexpr auto kIdle = std::chrono::milliseconds(10);
// Reads without waiting that taking in what has come makes at most: a
// server that never stops sending cannot keep a purge for ever.
constexpr int kCatchUpRounds = 16;

class Rfc2217Port final : public SerialPort {
public:
    Rfc2217Port(SocketHandle fd, Rfc2217Seams seams)
        : fd_(fd), seams_(std::move(seams)), chunk_(kChunkSize) {}
    ~Rfc2217Port() override {
        // Closing a port closed already would set the thread's last error
        // over the reason a failed open just left there.
        bool open = false;
        {
            std::lock_guard lock(mutex_);
            open = !closed_;
        }
        // Nothing is left to report a failing close to.
        if (open) (void)close();
    }

    // Greets the server, lowers RTS before anything else can raise it, sets
    // the line and asks for the modem state.  False with lastError set when
    // the server is gone.
    [[nodiscard]] bool start();

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
    [[nodiscard]] bool lost() override {
        std::unique_lock lock(mutex_);
        if (!closed_) catchUp(lock);
        return broken_ && !closed_;
    }

private:
    void receiveLoop();
    // Takes bytes received from the server into the protocol and the
    // receive queue; answers owed go to `reply`.  True when a read or a DSR
    // wait has something to look at.  Caller holds mutex_.
    bool takeIn(const uint8_t *bytes, size_t n, std::vector<uint8_t> &reply);
    // Whether the calling thread may read the socket.  Caller holds mutex_.
    bool socketFree() const { return !threadOnSocket_ && !callerOnSocket_; }
    // What one read of the socket without waiting found.
    enum class Taken { Nothing, Quiet, News, Ended };
    // Reads what waits on the socket, without waiting, and takes it in:
    // Nothing when nothing was there, News when a read or a DSR wait has
    // something to look at, Quiet for the rest (acknowledgements), Ended
    // when the connection is gone (the port is broken).  Every read of the
    // socket is this one, under mutex_, so bytes are queued in the order
    // the socket gave them and a purge finds each one either queued or
    // still on the socket.  Caller holds mutex_.
    Taken receiveNow(std::vector<uint8_t> &reply);
    // Waits at most `ms` (-1: no limit, 0: not at all) in the calling thread
    // for the socket to have something, then reads and takes in what came.
    // A wait needs socketFree(); `lock` holds mutex_ before and after (it is
    // let go during the wait).  False when nothing came in time.
    bool pump(std::unique_lock<std::mutex> &lock, int ms);
    // Takes in, without waiting, what came while nobody read the socket or
    // while the receive thread waits on it; answers owed go to `reply`.
    // Caller holds mutex_ throughout.
    void catchUp(std::vector<uint8_t> &reply);
    // The same, then sends the answers (letting `lock` go meanwhile).
    void catchUp(std::unique_lock<std::mutex> &lock);
    // Sends answers owed to the server.
    void sendReply(const std::vector<uint8_t> &reply);
    // What one send of wire bytes did: how many went out, and whether the
    // socket failed (lastError set, the port broken).
    struct [[nodiscard]] WireSent {
        size_t count = 0;
        bool failed = false;
    };
    // Sends wire bytes until all are out or the deadline passes.  Caller
    // holds sendMutex_.
    WireSent sendWire(const uint8_t *bytes, size_t n, const WriteDeadline &deadline);
    // Sends telnet commands whole under the control deadline; one cut short
    // would garble the stream for good, so it breaks the port.  False with
    // lastError set when not all went out.  Caller holds sendMutex_.
    [[nodiscard]] bool sendWhole(const uint8_t *bytes, size_t n);
    [[nodiscard]] bool sendControl(const std::vector<uint8_t> &command);
    // Appends the owed PURGE-DATA, if any.  Caller holds sendMutex_.
    void takeOwedPurge(std::vector<uint8_t> &out);
    [[nodiscard]] bool owePurge(uint8_t which);
    [[nodiscard]] bool usable();  // open and connected; sets lastError otherwise
    void markBroken(uint32_t code);
    void breakLocked(uint32_t code);  // caller holds mutex_

    SocketHandle fd_;
    const Rfc2217Seams seams_;
    std::thread receiver_;

    std::mutex mutex_;  // guards everything below up to sendMutex_
    // Data, a modem-state change, the end, or the socket left free: reads
    // and DSR waits look again.
    std::condition_variable changed_;
    // The background thread's wait while callers use the socket.
    std::condition_variable parked_;
    // Who reads the socket: the background thread, from the moment it
    // decides to until it parks, or one caller at a time (pump).
    bool threadOnSocket_ = false;
    bool callerOnSocket_ = false;
    size_t readersWaiting_ = 0;            // reads waiting for bytes the thread hands over
    DeadlineClock::time_point lastUse_{};  // a caller last wrote or read the socket
    std::vector<uint8_t> chunk_;           // bytes from the socket (receiveNow)
    std::vector<uint8_t> data_;            // data bytes decoded from a chunk
    std::deque<uint8_t> rx_;
    ClientProtocol protocol_;
    LineSettings line_;
    Timeouts timeouts_;
    bool closed_ = false;
    bool broken_ = false;
    uint32_t brokenCode_ = kErrTimeout;
    bool watching_ = false;
    uint64_t dsrSeen_ = 0;
    DeadlineClock::time_point lineFreeAt_{};  // written data has left the far end's line

    std::mutex sendMutex_;  // one sender at a time on the socket; guards below
    std::vector<uint8_t> wire_;
    uint8_t purgeOwed_ = 0;  // PURGE-DATA bits not sent yet
};

bool Rfc2217Port::usable() {
    if (closed_) {
        setLastError(kErrInvalidHandle);
        return false;
    }
    if (broken_) {
        setLastError(brokenCode_);
        return false;
    }
    return true;
}

void Rfc2217Port::markBroken(uint32_t code) {
    std::lock_guard lock(mutex_);
    breakLocked(code);
}

void Rfc2217Port::breakLocked(uint32_t code) {
    if (!broken_) {
        broken_ = true;
        brokenCode_ = code;
    }
    changed_.notify_all();
    parked_.notify_all();
}

bool Rfc2217Port::start() {
    std::vector<uint8_t> hello;
    {
        std::lock_guard lock(mutex_);
        protocol_.appendGreeting(hello);
    }
    // RTS goes low first: a reader resets on an RTS pulse, and some servers
    // raise RTS when a client connects.
    appendComPort(kSetControl, kControlRtsOff, hello);
    appendComPort(kSetControl, kControlDtrOn, hello);
    {
        std::lock_guard lock(sendMutex_);
        if (!sendWhole(hello.data(), hello.size())) return false;
    }
    receiver_ = std::thread([this] { receiveLoop(); });

    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kGreetingLimit,
                      [this] { return broken_ || protocol_.comPortAnswered(); });
    if (broken_) {
        setLastError(brokenCode_);
        return false;
    }
    lock.unlock();
    // Once more now that the option is agreed, for servers that ignore
    // COM-PORT commands sent before.
    if (!setRts(false)) return false;
    if (!setLineSettings(LineSettings{})) return false;
    // Setting the mask makes the server report the current state; until it
    // does, every line counts as off.
    std::vector<uint8_t> mask;
    appendComPort(kSetModemStateMask,
                  static_cast<uint8_t>(kMsCarrier | kMsRing | kMsDsr | kMsCts | kMsDeltaDsr), mask);
    return sendControl(mask);
}

void Rfc2217Port::receiveLoop() {
    std::vector<uint8_t> reply;
    std::unique_lock lock(mutex_);
    for (;;) {
        // Off the socket while callers use it.
        while (!threadOnSocket_) {
            if (closed_ || broken_) return;
            const auto now = DeadlineClock::now();
            if (!callerOnSocket_ && now >= lastUse_ + kIdle) {
                threadOnSocket_ = true;
                break;
            }
            parked_.wait_until(lock, callerOnSocket_ ? now + kIdle : lastUse_ + kIdle);
        }
        if (closed_ || broken_) {
            threadOnSocket_ = false;
            return;
        }
        lock.unlock();
        // Only the wait happens without the lock: the bytes are read and
        // queued under it in one step, so a purge in between finds them
        // still on the socket and drops them itself.
        (void)waitReadable(fd_, -1);
        if (seams_.receiveThreadHasBytes) seams_.receiveThreadHasBytes();
        lock.lock();
        reply.clear();
        const Taken taken = receiveNow(reply);
        if (taken == Taken::Ended) {
            threadOnSocket_ = false;
            return;
        }
        bool wake = taken == Taken::News;
        if (readersWaiting_ > 0 || DeadlineClock::now() < lastUse_ + kIdle) {
            // Callers are at work: they read the socket by themselves from
            // here (a waiting read is told so), and the thread stays off it.
            threadOnSocket_ = false;
            wake = wake || readersWaiting_ > 0;
        }
        lock.unlock();
        // Woken after the lock is free, a reader does not wake only to wait
        // for it again.
        if (wake) changed_.notify_all();
        if (!reply.empty()) sendReply(reply);
        lock.lock();
    }
}

Rfc2217Port::Taken Rfc2217Port::receiveNow(std::vector<uint8_t> &reply) {
    const ptrdiff_t k = receiveWithin(fd_, chunk_.data(), chunk_.size(), 0);
    if (k == 0) return Taken::Nothing;
    if (k < 0) {
        breakLocked(kErrNetNameDeleted);
        return Taken::Ended;
    }
    return takeIn(chunk_.data(), static_cast<size_t>(k), reply) ? Taken::News : Taken::Quiet;
}

bool Rfc2217Port::takeIn(const uint8_t *bytes, size_t n, std::vector<uint8_t> &reply) {
    const auto stateBefore = protocol_.modemState();
    const uint64_t dsrBefore = protocol_.dsrChanges();
    const bool answeredBefore = protocol_.comPortAnswered();
    data_.clear();
    protocol_.receive(bytes, n, data_, reply);
    const size_t room = kReceiveQueueLimit - std::min(kReceiveQueueLimit, rx_.size());
    rx_.insert(rx_.end(), data_.begin(),
               data_.begin() + static_cast<std::ptrdiff_t>(std::min(room, data_.size())));
    // Acknowledgements alone wake nobody.
    return !data_.empty() || protocol_.modemState() != stateBefore ||
           protocol_.dsrChanges() != dsrBefore || protocol_.comPortAnswered() != answeredBefore;
}

bool Rfc2217Port::pump(std::unique_lock<std::mutex> &lock, int ms) {
    bool ready = true;
    if (ms != 0) {
        callerOnSocket_ = true;
        lock.unlock();
        ready = waitReadable(fd_, ms);
        lock.lock();
        callerOnSocket_ = false;
    }
    lastUse_ = DeadlineClock::now();
    std::vector<uint8_t> reply;
    const Taken taken = ready ? receiveNow(reply) : Taken::Nothing;
    if (taken == Taken::News || readersWaiting_ > 0) changed_.notify_all();
    if (!reply.empty()) {
        lock.unlock();
        sendReply(reply);
        lock.lock();
    }
    return taken != Taken::Nothing;
}

void Rfc2217Port::catchUp(std::vector<uint8_t> &reply) {
    // A caller waiting on the socket takes in what comes itself, in order;
    // reading it from under that wait could leave the wait asleep.
    if (callerOnSocket_) return;
    bool news = false;
    for (int round = 0; round < kCatchUpRounds && !broken_; ++round) {
        const Taken taken = receiveNow(reply);
        if (taken == Taken::Nothing) break;
        news = news || taken == Taken::News;
    }
    // A read waiting for the receive thread gets what was taken from under
    // the thread's wait.
    if (news) changed_.notify_all();
}

void Rfc2217Port::catchUp(std::unique_lock<std::mutex> &lock) {
    std::vector<uint8_t> reply;
    catchUp(reply);
    if (!reply.empty()) {
        lock.unlock();
        sendReply(reply);
        lock.lock();
    }
}

void Rfc2217Port::sendReply(const std::vector<uint8_t> &reply) {
    std::lock_guard lock(sendMutex_);
    // A failure breaks the port, which the next call reports.
    (void)sendWhole(reply.data(), reply.size());
}

Rfc2217Port::WireSent Rfc2217Port::sendWire(const uint8_t *bytes, size_t n,
                                            const WriteDeadline &deadline) {
    bool failed = false;
    size_t sent = 0;
    while (sent < n) {
        const ptrdiff_t k = sendSome(fd_, bytes + sent, n - sent);
        if (k > 0) {
            sent += static_cast<size_t>(k);
            continue;
        }
        if (k == 0) {
            const int wait = deadline.waitMs(DeadlineClock::now());
            if (wait == 0) break;  // out of time: a short write
            if (!waitWritable(fd_, wait)) {
                failed = true;
                break;
            }
            continue;
        }
        failed = true;
        break;
    }
    if (failed) {
        markBroken(kErrNetNameDeleted);
        setLastError(kErrNetNameDeleted);
    }
    assert(sent <= n);
    return {sent, failed};
}

bool Rfc2217Port::sendWhole(const uint8_t *bytes, size_t n) {
    const WireSent sent = sendWire(bytes, n, controlDeadline());
    if (sent.failed) return false;
    if (sent.count < n) {
        markBroken(kErrWriteCutOff);
        setLastError(kErrWriteCutOff);
        return false;
    }
    return true;
}

void Rfc2217Port::takeOwedPurge(std::vector<uint8_t> &out) {
    if (purgeOwed_ == 0) return;
    appendComPort(kPurgeData, purgeOwed_, out);
    purgeOwed_ = 0;
}

bool Rfc2217Port::owePurge(uint8_t which) {
    std::lock_guard lock(sendMutex_);
    purgeOwed_ |= which;
    return true;
}

bool Rfc2217Port::sendControl(const std::vector<uint8_t> &command) {
    {
        std::lock_guard lock(mutex_);
        if (!usable()) return false;
    }
    std::lock_guard lock(sendMutex_);
    const std::vector<uint8_t> *out = &command;
    if (purgeOwed_ != 0) {
        wire_.clear();
        takeOwedPurge(wire_);
        wire_.insert(wire_.end(), command.begin(), command.end());
        out = &wire_;
    }
    return sendWhole(out->data(), out->size());
}

bool Rfc2217Port::getLineSettings(LineSettings &out) {
    std::lock_guard lock(mutex_);
    if (!usable()) return false;
    out = line_;
    return true;
}

bool Rfc2217Port::setLineSettings(const LineSettings &in) {
    if (in.baudRate == 0 || in.byteSize < 5 || in.byteSize > 8) {
        setLastError(kErrInvalidParameter);
        return false;
    }
    std::vector<uint8_t> wire;
    const uint8_t baud[4] = {
        static_cast<uint8_t>(in.baudRate >> 24), static_cast<uint8_t>(in.baudRate >> 16),
        static_cast<uint8_t>(in.baudRate >> 8), static_cast<uint8_t>(in.baudRate)};
    appendComPort(kSetBaudRate, baud, sizeof baud, wire);
    appendComPort(kSetDataSize, in.byteSize, wire);
    static constexpr uint8_t kParityCodes[] = {kParityNone, kParityOdd, kParityEven, kParityMark,
                                               kParitySpace};
    appendComPort(kSetParity, kParityCodes[static_cast<size_t>(in.parity) % 5], wire);
    appendComPort(kSetStopSize,
                  in.stopBits == StopBits::Two          ? kStopTwo
                  : in.stopBits == StopBits::OneAndHalf ? kStopOneAndHalf
                                                        : kStopOne,
                  wire);
    appendComPort(kSetControl,
                  in.outxCtsFlow ? kControlHardwareFlow
                  : in.outX      ? kControlXonXoff
                                 : kControlNoFlow,
                  wire);
    appendComPort(kSetControl, kControlInboundNoFlow, wire);
    appendComPort(kSetControl,
                  in.dtrControl == DtrControl::Disable ? kControlDtrOff : kControlDtrOn, wire);
    // RTS moves only by setRts.  Raising it here, as a local port does for
    // the enabled setting, would reset the reader behind the server; the
    // opening sequence lowers it anyway.
    if (in.rtsControl == RtsControl::Disable) appendComPort(kSetControl, kControlRtsOff, wire);
    if (!sendControl(wire)) return false;
    std::lock_guard lock(mutex_);
    line_ = in;
    return true;
}

bool Rfc2217Port::getTimeouts(Timeouts &out) {
    std::lock_guard lock(mutex_);
    if (!usable()) return false;
    out = timeouts_;
    return true;
}

bool Rfc2217Port::setTimeouts(const Timeouts &in) {
    std::lock_guard lock(mutex_);
    if (!usable()) return false;
    timeouts_ = in;
    return true;
}

bool Rfc2217Port::purgeTx() {
    // Nothing waits on this side: every write leaves at once.  The server's
    // own queue towards the line is purged, and with it the line's work.
    {
        std::lock_guard lock(mutex_);
        if (!usable()) return false;
        lineFreeAt_ = DeadlineClock::now();
    }
    return owePurge(kPurgeTransmit);
}

bool Rfc2217Port::purgeRx() {
    std::vector<uint8_t> reply;
    {
        std::unique_lock lock(mutex_);
        if (!usable()) return false;
        // What came while nobody read the socket is dropped too, with what
        // the receive thread has seen come and not read yet: it is still on
        // the socket, as the thread reads only under the lock held here.
        catchUp(reply);
        if (!usable()) return false;
        rx_.clear();
    }
    if (!reply.empty()) sendReply(reply);
    return owePurge(kPurgeReceive);
}

bool Rfc2217Port::write(const uint8_t *buf, size_t n, size_t &written) {
    written = 0;
    const auto start = DeadlineClock::now();
    Timeouts t;
    {
        std::lock_guard lock(mutex_);
        if (!usable()) return false;
        t = timeouts_;
    }
    std::lock_guard lock(sendMutex_);
    wire_.clear();
    takeOwedPurge(wire_);
    const size_t prefix = wire_.size();
    appendEscaped(buf, n, wire_);
    const WireSent wire = sendWire(wire_.data(), wire_.size(), WriteDeadline(t, n, start));
    if (wire.failed) return false;
    const size_t sent = wire.count;
    // Count the data bytes that left whole.
    size_t wireUsed = prefix;
    while (written < n) {
        const size_t width = buf[written] == kIac ? 2 : 1;
        if (wireUsed + width > sent) break;
        wireUsed += width;
        ++written;
    }
    if (wireUsed != sent || sent < prefix) {
        // Half an escaped byte or half a purge went out: the stream cannot
        // be resumed.
        markBroken(kErrWriteCutOff);
    }
    {
        std::lock_guard lineLock(mutex_);
        lineFreeAt_ = std::max(lineFreeAt_, start) + wireTime(line_, written);
        lastUse_ = DeadlineClock::now();  // the reply is the caller's to read
    }
    setLastError(kErrTimeout);
    return true;
}

bool Rfc2217Port::read(uint8_t *buf, size_t n, size_t &got) {
    got = 0;
    if (seams_.readBegins) seams_.readBegins();
    // An owed purge must reach the server before anything is awaited.
    bool owed = false;
    {
        std::lock_guard sendLock(sendMutex_);
        owed = purgeOwed_ != 0;
    }
    if (owed && !sendControl({})) return false;
    std::unique_lock lock(mutex_);
    if (!usable()) return false;
    ReadDeadline deadline(timeouts_, n, std::max(DeadlineClock::now(), lineFreeAt_));
    auto take = [&] {
        const size_t k = std::min(n - got, rx_.size());
        if (k == 0) return;
        std::copy_n(rx_.begin(), k, buf + got);
        rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(k));
        got += k;
        deadline.bytesArrived(DeadlineClock::now());
    };
    take();
    if (deadline.returnAtOnce()) {
        if (got < n && socketFree()) {
            pump(lock, 0);
            take();
        }
        setLastError(kErrTimeout);
        return true;
    }
    while (got < n) {
        if (closed_) {
            setLastError(kErrOperationAborted);
            return false;
        }
        if (broken_) {
            setLastError(brokenCode_);
            return false;
        }
        const auto now = DeadlineClock::now();
        if (deadline.expired(now)) break;
        if (socketFree()) {
            pump(lock, deadline.waitMs(now));
        } else {
            // The background thread (or another read) is on the socket.
            ++readersWaiting_;
            const auto until = deadline.expiry();
            if (until)
                changed_.wait_until(lock, *until);
            else
                changed_.wait(lock);
            --readersWaiting_;
        }
        take();
    }
    setLastError(kErrTimeout);
    return true;
}

bool Rfc2217Port::setRts(bool on) {
    std::vector<uint8_t> wire;
    appendComPort(kSetControl, on ? kControlRtsOn : kControlRtsOff, wire);
    return sendControl(wire);
}

bool Rfc2217Port::modemStatus(uint32_t &bits) {
    std::unique_lock lock(mutex_);
    if (!usable()) return false;
    catchUp(lock);
    if (!usable()) return false;
    const auto state = protocol_.modemState();
    bits = state ? (*state & (kModemCts | kModemDsr | kModemRing | kModemRlsd)) : 0;
    return true;
}

bool Rfc2217Port::watchDsr() {
    std::lock_guard lock(mutex_);
    if (!usable()) return false;
    watching_ = true;
    dsrSeen_ = protocol_.dsrChanges();
    return true;
}

bool Rfc2217Port::waitDsrChange() {
    std::unique_lock lock(mutex_);
    if (!usable()) return false;
    if (!watching_) {
        setLastError(kErrInvalidParameter);
        return false;
    }
    changed_.wait(lock,
                  [this] { return closed_ || broken_ || protocol_.dsrChanges() != dsrSeen_; });
    if (closed_ || broken_) {
        setLastError(closed_ ? kErrOperationAborted : brokenCode_);
        return false;
    }
    dsrSeen_ = protocol_.dsrChanges();
    return true;
}

bool Rfc2217Port::restoreLine() {
    // The server's line settings cannot be read, so they cannot be put
    // back either; they are the server's defaults again for the next client.
    std::lock_guard lock(mutex_);
    return usable();
}

bool Rfc2217Port::close() {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            setLastError(kErrInvalidHandle);
            return false;
        }
        closed_ = true;
        changed_.notify_all();
        parked_.notify_all();
    }
    // Wakes whoever reads the socket: the wait sees the end of the stream.
    shutdownSocket(fd_);
    if (receiver_.joinable()) receiver_.join();
    {
        std::lock_guard lock(sendMutex_);
        closeSocket(fd_);
        fd_ = kNoSocket;
    }
    return true;
}

}  // namespace

std::unique_ptr<SerialPort> openRfc2217Port(const std::string &hostPort, Rfc2217Seams seams) {
    std::string host;
    uint16_t port = 0;
    if (!telnet::splitHostPort(hostPort, host, port)) {
        setLastError(kErrBadPathName);
        return nullptr;
    }
    const SocketHandle fd = rfc2217::connectTcp(host, port, kConnectLimit);
    if (fd == kNoSocket) return nullptr;
    auto result = std::make_unique<Rfc2217Port>(fd, std::move(seams));
    if (!result->start()) {
        const uint32_t code = lastError();
        result.reset();
        setLastError(code);
        return nullptr;
    }
    return result;
}

}  // namespace kvr7x
