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

using rfc2217::kMsCarrier;
using rfc2217::kMsCts;
using rfc2217::kMsDsr;
using rfc2217::kMsRing;

// Delta bits of a modem-state report for the lines that changed.
uint8_t deltaBits(uint8_t before, uint8_t now) {
    const uint8_t changed = before ^ now;
    uint8_t d = 0;
    if (changed & kMsCts) d |= rfc2217::kMsDeltaCts;
    if (changed & kMsDsr) d |= rfc2217::kMsDeltaDsr;
    if ((before & kMsRing) && !(now & kMsRing)) d |= rfc2217::kMsTrailingRing;
    if (changed & kMsCarrier) d |= rfc2217::kMsDeltaCarrier;
    return d;
}

}  // namespace

// One client connection, served on the emulator's thread.
class Emulator::Session final : public ComPortListener {
public:
    Session(Emulator &emu, int fd) : emu_(emu), fd_(fd), lastState_(emu.modemState()) {}

    void run();

    void onData(uint8_t byte) override;
    void onRts(bool on) override;
    void onDtr(bool on) override;
    void onPurge(uint8_t which) override;
    void onModemStateMask(uint8_t mask) override;
    void onControl(const std::string &text) override;

private:
    // Queues what the reader put out; emu_.mutex_ is held.
    void emit(ModelOutput &out, Clock::time_point ready);
    bool flushDue(Clock::time_point now);
    bool sendWire();
    void reportModemState(bool force);

    Emulator &emu_;
    int fd_;
    ComPortServer server_;
    std::deque<std::pair<Clock::time_point, uint8_t>> queue_;  // data bytes and when they leave
    std::vector<uint8_t> wire_;                                // encoded, not yet sent
    Clock::time_point nextFree_{};                             // the line is busy until then
    Clock::time_point inWire_{};                               // last host byte fully arrived
    uint8_t lastState_;  // as last reported (at first: as found on connecting)
    bool forceState_ = false;
    ModelOutput out_;
};

void Emulator::Session::run() {
    std::vector<uint8_t> buf(4096);
    for (;;) {
        if (emu_.stopping_) return;
        const auto now = Clock::now();
        if (!flushDue(now)) return;
        reportModemState(false);
        if (!sendWire()) return;

        timespec ts{};
        timespec *timeout = nullptr;
        if (!queue_.empty()) {
            const auto left = std::max(Clock::duration::zero(), queue_.front().first - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            ts.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
            timeout = &ts;
        }
        pollfd fds[3] = {{fd_, static_cast<short>(POLLIN | (wire_.empty() ? 0 : POLLOUT)), 0},
                         {emu_.listenFd_, POLLIN, 0},
                         {emu_.wakeRead_, POLLIN, 0}};
        const int pr = ::ppoll(fds, 3, timeout, nullptr);
        if (pr < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[2].revents & POLLIN) {
            char drain[64];
            while (::read(emu_.wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        if (fds[1].revents & POLLIN) emu_.refuse();
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::recv(fd_, buf.data(), buf.size(), MSG_DONTWAIT);
            if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
            if (n <= 0) return;
            std::vector<uint8_t> reply;
            server_.receive(buf.data(), static_cast<size_t>(n), *this, reply);
            wire_.insert(wire_.end(), reply.begin(), reply.end());
        }
    }
}

bool Emulator::Session::flushDue(Clock::time_point now) {
    std::vector<uint8_t> due;
    while (!queue_.empty() && queue_.front().first <= now) {
        due.push_back(queue_.front().second);
        queue_.pop_front();
    }
    rfc2217::appendEscaped(due.data(), due.size(), wire_);
    return true;
}

bool Emulator::Session::sendWire() {
    while (!wire_.empty()) {
        const ssize_t k = ::send(fd_, wire_.data(), wire_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (k > 0) {
            wire_.erase(wire_.begin(), wire_.begin() + k);
            continue;
        }
        if (k < 0 && errno == EINTR) continue;
        if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;  // later
        return false;
    }
    return true;
}

void Emulator::Session::reportModemState(bool force) {
    const uint8_t state = emu_.modemState();
    force = force || forceState_;
    forceState_ = false;
    if (!force && ((state ^ lastState_) & server_.modemStateMask()) == 0) return;
    const uint8_t report = static_cast<uint8_t>(state | deltaBits(lastState_, state));
    lastState_ = state;
    ComPortServer::appendModemState(report, wire_);
    emu_.log_.add(LogEntry::Kind::Line, "NOTIFY-MODEMSTATE", {report});
}

void Emulator::Session::emit(ModelOutput &out, Clock::time_point ready) {
    for (auto &frame : out.frames) emu_.log_.add(LogEntry::Kind::FromHost, "frame", frame);
    for (auto &note : out.notes) emu_.log_.add(LogEntry::Kind::Session, note);
    for (Emission &e : out.emissions) {
        Clock::time_point at = ready;
        if (e.kind != Emission::Kind::Echo) at += emu_.latency_;
        switch (e.kind) {
        case Emission::Kind::Echo:
            emu_.log_.add(LogEntry::Kind::ToHost, "echo", e.bytes);
            break;
        case Emission::Kind::Reply:
            emu_.log_.add(LogEntry::Kind::ToHost, "reply", e.bytes);
            break;
        case Emission::Kind::ResetAnswer:
            if (e.noise)
                emu_.log_.add(LogEntry::Kind::ToHost, "noise",
                              std::vector<uint8_t>(e.bytes.begin(), e.bytes.begin() + static_cast<std::ptrdiff_t>(e.noise)));
            emu_.log_.add(LogEntry::Kind::ToHost, "reset answer",
                          std::vector<uint8_t>(e.bytes.begin() + static_cast<std::ptrdiff_t>(e.noise), e.bytes.end()));
            break;
        }
        for (uint8_t b : e.bytes) {
            // A byte has arrived at the host once its last bit is out.
            Clock::time_point t = std::max(at, nextFree_);
            if (emu_.paced_) t += kByteTime;
            nextFree_ = t;
            queue_.emplace_back(t, b);
        }
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
    if (which & rfc2217::kPurgeReceive) queue_.clear();
    emu_.log_.add(LogEntry::Kind::Line, "PURGE-DATA " + std::to_string(which));
}

void Emulator::Session::onModemStateMask(uint8_t) { forceState_ = true; }

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
    int fd = -1;
    int lastErrno = 0;
    for (addrinfo *ai = list; ai && fd < 0; ai = ai->ai_next) {
        fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
        if (fd < 0) {
            lastErrno = errno;
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, 4) != 0) {
            lastErrno = errno;
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(list);
    if (fd < 0) {
        error = "cannot listen on " + config_.host + ":" + service + ": " + std::strerror(lastErrno);
        return false;
    }
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    port_ = ntohs(addr.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 *>(&addr)->sin6_port
                                             : reinterpret_cast<sockaddr_in *>(&addr)->sin_port);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("cannot create a pipe: ") + std::strerror(errno);
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
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
    ::close(listenFd_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
    listenFd_ = wakeRead_ = wakeWrite_ = -1;
}

std::string Emulator::url() const {
    const bool v6 = config_.host.find(':') != std::string::npos;
    return "rfc2217://" + (v6 ? "[" + config_.host + "]" : config_.host) + ":" + std::to_string(port_);
}

void Emulator::wake() {
    if (wakeWrite_ < 0) return;
    const char b = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_, &b, 1);
}

void Emulator::refuse() {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    ::close(fd);
    log_.add(LogEntry::Kind::Session, "second client refused: one client at a time");
}

void Emulator::run() {
    // Paced bytes leave on timers a millisecond apart: keep the kernel from
    // rounding those wake-ups by its default slack of 50 microseconds.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    while (!stopping_) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            log_.add(LogEntry::Kind::Session, std::string("poll failed: ") + std::strerror(errno));
            return;
        }
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (::read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        if (!(fds[0].revents & POLLIN)) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) continue;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ++served_;
        connected_ = true;
        log_.add(LogEntry::Kind::Session, "client connected");
        {
            Session session(*this, fd);
            session.run();
        }
        ::close(fd);
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
