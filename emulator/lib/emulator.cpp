#include "emulator.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>

#include "com_port_server.h"

namespace kvr7x::emu {

namespace {

using Clock = std::chrono::steady_clock;

using telnet::kMsCarrier;
using telnet::kMsCts;
using telnet::kMsDsr;
using telnet::kMsRing;

// Delta bits of a modem-state report for the lines that changed.
uint8_t deltaBits(uint8_t before, uint8_t now) {
    const uint8_t changed = before ^ now;
    uint8_t d = 0;
    if (changed & kMsCts) d |= telnet::kMsDeltaCts;
    if (changed & kMsDsr) d |= telnet::kMsDeltaDsr;
    if ((before & kMsRing) && !(now & kMsRing)) d |= telnet::kMsTrailingRing;
    if (changed & kMsCarrier) d |= telnet::kMsDeltaCarrier;
    return d;
}

}  // namespace

// One client connection, served on the emulator's thread.
class Emulator::Session final : public ComPortListener {
public:
    Session(Emulator &emu, int fd) : emu_(emu), fd_(fd), lastState_(emu.modemState()), lastHeard_(Clock::now()) {}

    // Serves the client until it leaves, times out, is replaced or the
    // emulator stops.
    void run();

    void onData(uint8_t byte) override;
    void onRts(bool on) override;
    void onDtr(bool on) override;
    void onPurge(uint8_t which) override;
    void onModemStateOwed() override;
    void onFlowSuspend(bool suspended) override;
    void onControl(const std::string &text) override;

private:
    enum class Input { Taken, Nothing, Closed };

    // Queues what the reader put out; emu_.mutex_ is held.
    void emit(ModelOutput &out, Clock::time_point ready);
    void flushDue(Clock::time_point now);
    bool sendWire();
    void reportModemState();
    // Reads what the client sent, once.
    Input receive();
    // Bytes owed to the client: encoded and not sent, or not yet due.
    size_t unsent() const { return wire_.size() - wireSent_ + queued_; }
    bool heldBack() const { return unsent() > kMaxUnsent; }
    // A client knocks while this one is connected: refuse it, or let it
    // take over.  False when this session ends.
    bool answerNewcomer();
    std::optional<Clock::time_point> nextWake() const;

    Emulator &emu_;
    int fd_;
    ComPortServer server_;
    // What the reader sends, in runs: byte i of a run reaches the host at
    // `first` + i * `spacing` (spacing 0 when not paced).
    struct Run {
        Clock::time_point first;
        Clock::duration spacing;
        std::vector<uint8_t> bytes;
        size_t taken = 0;  // bytes already handed on
        Clock::time_point dueOf(size_t i) const { return first + spacing * static_cast<Clock::rep>(i); }
    };
    std::deque<Run> queue_;
    size_t queued_ = 0;  // bytes in queue_ not yet handed on
    // Encoded bytes for the client; those before wireSent_ have gone.  The
    // buffer is emptied once all have gone, never shifted on each send.
    std::vector<uint8_t> wire_;
    size_t wireSent_ = 0;
    std::vector<uint8_t> in_ = std::vector<uint8_t>(4096);
    std::vector<uint8_t> reply_;
    Clock::time_point nextFree_{};  // the line is busy until then
    Clock::time_point inWire_{};    // last host byte fully arrived
    uint8_t lastState_;             // as last reported (at first: as found on connecting)
    bool stateOwed_ = false;
    bool suspended_ = false;       // the client asked for no data for now
    Clock::time_point lastHeard_;  // the client last sent something
    ModelOutput out_;
};

void Emulator::Session::run() {
    for (;;) {
        if (emu_.stopping_) return;
        flushDue(Clock::now());
        reportModemState();
        if (!sendWire()) return;
        if (wire_.empty()) emu_.readerBytesSent_.store(emu_.readerBytesOnWire_);
        size_t peak = emu_.peakUnsent_.load();
        while (unsent() > peak && !emu_.peakUnsent_.compare_exchange_weak(peak, unsent())) {}

        const auto wakeAt = nextWake();
        timespec ts{};
        if (wakeAt) {
            const auto left = std::max(Clock::duration::zero(), *wakeAt - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            ts.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        }
        // A client that does not read what it is sent is not read either.
        const short clientEvents =
            static_cast<short>((heldBack() ? 0 : POLLIN) | (wire_.size() > wireSent_ ? POLLOUT : 0));
        pollfd fds[3] = {{fd_, clientEvents, 0}, {emu_.listen_.get(), POLLIN, 0}, {emu_.wake_->readFd(), POLLIN, 0}};
        const int pr = ::ppoll(fds, 3, wakeAt ? &ts : nullptr, nullptr);
        if (pr < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[2].revents & POLLIN) emu_.wake_->drain();
        // Hung up or reset: nobody is left to answer, whatever it sent last.
        if (fds[0].revents & (POLLHUP | POLLERR)) return;
        if ((fds[0].revents & POLLIN) && receive() == Input::Closed) return;
        // The client already connected comes first: one that has just left
        // makes room for the one knocking.
        if ((fds[1].revents & POLLIN) && !answerNewcomer()) return;
        const auto idle = emu_.config_.idleTimeout;
        if (idle.count() > 0 && Clock::now() - lastHeard_ >= idle) {
            emu_.log_.add(LogEntry::Kind::Session,
                          "client silent for " + std::to_string(idle.count()) + " ms: disconnected");
            return;
        }
    }
}

std::optional<Clock::time_point> Emulator::Session::nextWake() const {
    std::optional<Clock::time_point> at;
    if (!queue_.empty() && !suspended_) at = queue_.front().dueOf(queue_.front().taken);
    if (const auto idle = emu_.config_.idleTimeout; idle.count() > 0) {
        const auto end = lastHeard_ + idle;
        if (!at || end < *at) at = end;
    }
    return at;
}

Emulator::Session::Input Emulator::Session::receive() {
    for (;;) {
        const ssize_t n = ::recv(fd_, in_.data(), in_.size(), MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Input::Nothing;
        if (n <= 0) return Input::Closed;
        lastHeard_ = Clock::now();
        reply_.clear();
        server_.receive(in_.data(), static_cast<size_t>(n), *this, reply_);
        wire_.insert(wire_.end(), reply_.begin(), reply_.end());
        return Input::Taken;
    }
}

bool Emulator::Session::answerNewcomer() {
    // Read on until the client's stream is empty: its end may be waiting
    // behind the last of its bytes.
    for (;;) {
        if (heldBack()) break;
        const Input got = receive();
        if (got == Input::Closed) return false;
        if (got == Input::Nothing) break;
    }
    const auto &takeOver = emu_.config_.takeOverAfter;
    const auto silent = Clock::now() - lastHeard_;
    if (takeOver && silent >= *takeOver) {
        emu_.log_.add(LogEntry::Kind::Session,
                      "client silent for " +
                          std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(silent).count()) +
                          " ms: a new client takes over");
        return false;  // the new client is accepted as this one is closed
    }
    emu_.refuse();
    return true;
}

void Emulator::Session::flushDue(Clock::time_point now) {
    if (suspended_) return;
    while (!queue_.empty()) {
        Run &run = queue_.front();
        size_t due = run.taken;
        if (run.spacing == Clock::duration::zero()) {
            if (run.first <= now) due = run.bytes.size();
        } else if (run.first <= now) {
            due = std::min(run.bytes.size(), static_cast<size_t>((now - run.first) / run.spacing) + 1);
        }
        telnet::appendEscaped(run.bytes.data() + run.taken, due - run.taken, wire_);
        queued_ -= due - run.taken;
        emu_.readerBytesOnWire_ += due - run.taken;
        run.taken = due;
        if (run.taken < run.bytes.size()) return;
        queue_.pop_front();
    }
}

bool Emulator::Session::sendWire() {
    while (wireSent_ < wire_.size()) {
        const ssize_t k = ::send(fd_, wire_.data() + wireSent_, wire_.size() - wireSent_, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (k > 0) {
            wireSent_ += static_cast<size_t>(k);
            continue;
        }
        if (k < 0 && errno == EINTR) continue;
        if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;  // later
        return false;
    }
    if (wireSent_ == wire_.size()) {
        wire_.clear();
        wireSent_ = 0;
    } else if (wireSent_ >= kMaxUnsent) {
        // Drop what has gone now and then, not on every send.
        wire_.erase(wire_.begin(), wire_.begin() + static_cast<std::ptrdiff_t>(wireSent_));
        wireSent_ = 0;
    }
    return true;
}

void Emulator::Session::reportModemState() {
    if (!server_.comPortAgreed()) return;
    const uint8_t state = emu_.modemState();
    const bool owed = stateOwed_;
    stateOwed_ = false;
    if (!owed && ((state ^ lastState_) & server_.modemStateMask()) == 0) return;
    const uint8_t report = static_cast<uint8_t>(state | deltaBits(lastState_, state));
    lastState_ = state;
    server_.appendModemState(report, wire_);
    // What went out, as the client's mask let it through.
    emu_.log_.add(LogEntry::Kind::Line, "NOTIFY-MODEMSTATE", {static_cast<uint8_t>(report & server_.modemStateMask())});
}

void Emulator::Session::emit(ModelOutput &out, Clock::time_point ready) {
    FrameLog &log = emu_.log_;
    const bool logging = log.active();
    if (logging) {
        for (auto &frame : out.frames) log.add(LogEntry::Kind::FromHost, "frame", frame);
        for (auto &note : out.notes) log.add(LogEntry::Kind::Session, note);
    }
    for (Emission &e : out.emissions) {
        Clock::time_point at = ready;
        if (e.kind != Emission::Kind::Echo) at += emu_.latency_;
        if (logging) {
            switch (e.kind) {
            case Emission::Kind::Echo: log.add(LogEntry::Kind::ToHost, "echo", e.bytes); break;
            case Emission::Kind::Reply: log.add(LogEntry::Kind::ToHost, "reply", e.bytes); break;
            case Emission::Kind::ResetAnswer: {
                const auto split = e.bytes.begin() + static_cast<std::ptrdiff_t>(e.noise);
                if (e.noise) log.add(LogEntry::Kind::ToHost, "noise", std::vector<uint8_t>(e.bytes.begin(), split));
                log.add(LogEntry::Kind::ToHost, "reset answer", std::vector<uint8_t>(split, e.bytes.end()));
                break;
            }
            }
        }
        if (e.bytes.empty()) continue;
        // A byte has arrived at the host once its last bit is out.
        const Clock::duration spacing = emu_.paced_ ? Clock::duration(kByteTime) : Clock::duration::zero();
        const Clock::time_point first = std::max(at, nextFree_) + spacing;
        nextFree_ = first + spacing * static_cast<Clock::rep>(e.bytes.size() - 1);
        queued_ += e.bytes.size();
        queue_.push_back(Run{first, spacing, std::move(e.bytes)});
    }
    out.clear();
}

void Emulator::Session::onData(uint8_t byte) {
    const auto now = Clock::now();
    std::lock_guard lock(emu_.mutex_);
    // Paced, a command byte has reached the reader one byte time after the
    // line was free for it.
    inWire_ = emu_.paced_ ? std::max(now, inWire_) + kByteTime : now;
    emu_.model_.receive(byte, now, out_);
    emit(out_, inWire_);
}

void Emulator::Session::onRts(bool on) {
    emu_.log_.add(LogEntry::Kind::Line, on ? "RTS on" : "RTS off");
    std::lock_guard lock(emu_.mutex_);
    emu_.rts_ = on;
    emu_.model_.setRts(on, out_);
    emit(out_, Clock::now());
}

void Emulator::Session::onDtr(bool on) {
    emu_.log_.add(LogEntry::Kind::Line, on ? "DTR on" : "DTR off");
    std::lock_guard lock(emu_.mutex_);
    emu_.dtr_ = on;
}

void Emulator::Session::onPurge(uint8_t which) {
    // 1: what the reader sent and the client has not got yet.
    if (which & telnet::kPurgeReceive) {
        queue_.clear();
        queued_ = 0;
    }
    emu_.log_.add(LogEntry::Kind::Line, "PURGE-DATA " + std::to_string(which));
}

void Emulator::Session::onModemStateOwed() { stateOwed_ = true; }

void Emulator::Session::onFlowSuspend(bool suspended) {
    suspended_ = suspended;
    emu_.log_.add(LogEntry::Kind::Line, suspended ? "FLOWCONTROL-SUSPEND" : "FLOWCONTROL-RESUME");
}

void Emulator::Session::onControl(const std::string &text) {
    if (text.rfind("SET-BAUDRATE ", 0) == 0) {
        std::lock_guard lock(emu_.mutex_);
        emu_.baud_ = server_.baudRate();
    }
    emu_.log_.add(LogEntry::Kind::Line, text);
}

Emulator::Emulator(Config config) : config_(std::move(config)) {
    model_.setIdentification(config_.identification);
    model_.setSecondStatus(config_.secondStatus);
    model_.setPresent(0, config_.cardPresent);
    for (unsigned s = 1; s <= 3; ++s) model_.setPresent(s, config_.samPresent[s - 1]);
    model_.setPowered(config_.powered);
    model_.setSilent(config_.silent);
    model_.setNoise(config_.noise);
    model_.setRules(config_.rules);
    latency_ = config_.latency;
    paced_ = config_.paced;
    log_.setStream(config_.logStream);
    log_.setKeep(config_.memoryLog);
}

Emulator::~Emulator() { stop(); }

bool Emulator::start(std::string &error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *list = nullptr;
    const std::string service = std::to_string(config_.port);
    const int gai = ::getaddrinfo(config_.host.c_str(), service.c_str(), &hints, &list);
    if (gai != 0) {
        error = "cannot resolve " + config_.host + ": " + ::gai_strerror(gai);
        return false;
    }
    kvr::common::UniqueFd listening;
    int lastErrno = 0;
    for (addrinfo *ai = list; ai && !listening; ai = ai->ai_next) {
        listening.reset(::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol));
        if (!listening) {
            lastErrno = errno;
            continue;
        }
        const int one = 1;
        ::setsockopt(listening.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(listening.get(), ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(listening.get(), 4) != 0) {
            lastErrno = errno;
            listening.reset();
        }
    }
    ::freeaddrinfo(list);
    if (!listening) {
        error = "cannot listen on " + config_.host + ":" + service + ": " + std::strerror(lastErrno);
        return false;
    }
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    ::getsockname(listening.get(), reinterpret_cast<sockaddr *>(&addr), &len);
    port_ = ntohs(addr.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 *>(&addr)->sin6_port
                                             : reinterpret_cast<sockaddr_in *>(&addr)->sin_port);
    wake_ = kvr::common::WakePipe::create();
    if (!wake_) {
        error = std::string("cannot create a pipe: ") + std::strerror(errno);
        return false;
    }
    listen_ = std::move(listening);
    stopping_ = false;
    log_.add(LogEntry::Kind::Session, "listening on " + config_.host + ":" + std::to_string(port_));
    thread_ = std::thread([this] { run(); });
    return true;
}

void Emulator::stop() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    wake();
    thread_.join();
    listen_.reset();
    wake_.reset();
}

std::string Emulator::url() const {
    const bool v6 = config_.host.find(':') != std::string::npos;
    return "rfc2217://" + (v6 ? "[" + config_.host + "]" : config_.host) + ":" + std::to_string(port_);
}

void Emulator::wake() {
    if (wake_) wake_->wake();
}

void Emulator::refuse() {
    const kvr::common::UniqueFd refused(::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!refused) return;
    log_.add(LogEntry::Kind::Session, "second client refused: one client at a time");
}

void Emulator::run() {
    // Paced bytes leave on timers a millisecond apart: keep the kernel from
    // rounding those wake-ups by its default slack of 50 microseconds.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    while (!stopping_) {
        pollfd fds[2] = {{listen_.get(), POLLIN, 0}, {wake_->readFd(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            log_.add(LogEntry::Kind::Session, std::string("poll failed: ") + std::strerror(errno));
            return;
        }
        if (fds[1].revents & POLLIN) wake_->drain();
        if (!(fds[0].revents & POLLIN)) continue;
        kvr::common::UniqueFd client(::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!client) continue;
        const int fd = client.get();
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        // A client whose host vanished (half-open connection) must not hold
        // the only slot: keep-alive probes find it within about a minute.
        const int idleS = 30, intervalS = 10, probes = 3;
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleS, sizeof idleS);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalS, sizeof intervalS);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
        ++served_;
        connected_ = true;
        log_.add(LogEntry::Kind::Session, "client connected");
        {
            Session session(*this, fd);
            session.run();
        }
        client.reset();
        {
            std::lock_guard lock(mutex_);
            ModelOutput out;
            model_.dropPartialFrame(out);
            model_.setRts(false, out);  // the next client starts with RTS low
            rts_ = false;
            dtr_ = false;
            for (auto &note : out.notes) log_.add(LogEntry::Kind::Session, note);
        }
        connected_ = false;
        log_.add(LogEntry::Kind::Session, "client disconnected");
    }
}

uint8_t Emulator::modemState() const {
    std::lock_guard lock(mutex_);
    uint8_t s = 0;
    if (model_.present(0)) s |= kMsDsr;
    if (model_.powered()) s |= kMsCarrier | kMsCts;
    return s;
}

std::vector<uint8_t> Emulator::atr(unsigned unit) const {
    std::lock_guard lock(mutex_);
    return model_.card(unit).atr();
}

bool Emulator::rts() const {
    std::lock_guard lock(mutex_);
    return rts_;
}

bool Emulator::dtr() const {
    std::lock_guard lock(mutex_);
    return dtr_;
}

uint32_t Emulator::baudRate() const {
    std::lock_guard lock(mutex_);
    return baud_;
}

void Emulator::setCardPresent(bool present) {
    {
        std::lock_guard lock(mutex_);
        model_.setPresent(0, present);
    }
    log_.add(LogEntry::Kind::Session, present ? "card inserted" : "card removed");
    wake();
}

void Emulator::setSamPresent(unsigned slot, bool present) {
    if (slot < 1 || slot > 3) return;
    std::lock_guard lock(mutex_);
    model_.setPresent(slot, present);
}

void Emulator::setPowered(bool powered) {
    {
        std::lock_guard lock(mutex_);
        model_.setPowered(powered);
    }
    log_.add(LogEntry::Kind::Session, powered ? "reader powered" : "reader unpowered");
    wake();
}

void Emulator::setSilent(bool silent) {
    std::lock_guard lock(mutex_);
    model_.setSilent(silent);
}

void Emulator::setLatency(std::chrono::milliseconds latency) {
    std::lock_guard lock(mutex_);
    latency_ = latency;
}

void Emulator::setNoise(std::vector<uint8_t> noise) {
    std::lock_guard lock(mutex_);
    model_.setNoise(std::move(noise));
}

void Emulator::setIdentification(std::vector<uint8_t> identification) {
    std::lock_guard lock(mutex_);
    model_.setIdentification(std::move(identification));
}

void Emulator::setPaced(bool paced) {
    std::lock_guard lock(mutex_);
    paced_ = paced;
}

}  // namespace kvr7x::emu
