#include "scripted_port.h"

#include <algorithm>
#include <thread>

namespace kvr7x::test {

std::shared_ptr<PortClock> PortClock::simulated() {
    return std::shared_ptr<PortClock>(new PortClock(true));
}

std::shared_ptr<PortClock> PortClock::real() {
    return std::shared_ptr<PortClock>(new PortClock(false));
}

namespace {
// Where simulated time begins.  Any origin does: only differences of a
// clock's times mean anything.
constexpr PortClock::time_point kOrigin = PortClock::time_point{} + std::chrono::hours(1);
}  // namespace

PortClock::time_point PortClock::now() const {
    if (!simulated_) return DeadlineClock::now();
    return kOrigin + duration(elapsed_.load());
}

void PortClock::advance(duration d) {
    if (simulated_)
        elapsed_ += d.count();
    else
        std::this_thread::sleep_for(d);
}

void PortClock::waitUntil(std::unique_lock<std::mutex> &lock, std::condition_variable &cv,
                          time_point until) {
    if (!simulated_) {
        cv.wait_until(lock, until);
        return;
    }
    // Move on to `until`, never back: another waiter may be further ahead.
    const duration::rep target = (until - kOrigin).count();
    duration::rep seen = elapsed_.load();
    while (seen < target && !elapsed_.compare_exchange_weak(seen, target)) {}
}

void ScriptedPort::feed(const Bytes &bytes, std::chrono::milliseconds delay,
                        std::chrono::milliseconds gap) {
    std::lock_guard lock(mu_);
    const auto start = clock_->now() + delay;
    for (size_t i = 0; i < bytes.size(); ++i)
        rx_.push_back({start + gap * static_cast<int>(i), bytes[i]});
    // Keep the queue in arrival order whatever was fed before.
    std::stable_sort(rx_.begin(), rx_.end(),
                     [](const Arrival &a, const Arrival &b) { return a.at < b.at; });
    cv_.notify_all();
}

void ScriptedPort::failAt(Op op, int nth, uint32_t code) {
    std::lock_guard lock(mu_);
    faults_.push_back({op, nth - 1, code});
}

void ScriptedPort::limitWrites(size_t maxBytes) {
    std::lock_guard lock(mu_);
    writeLimit_ = maxBytes;
}

void ScriptedPort::setModemLines(uint32_t bits) {
    std::lock_guard lock(mu_);
    modem_ = bits;
}

void ScriptedPort::setDsr(bool on) {
    std::lock_guard lock(mu_);
    const uint32_t before = modem_;
    modem_ = on ? (modem_ | kModemDsr) : (modem_ & ~kModemDsr);
    if (modem_ != before) ++dsrChanges_;
    cv_.notify_all();
}

Bytes ScriptedPort::sent() const {
    std::lock_guard lock(mu_);
    return sent_;
}

void ScriptedPort::clearSent() {
    std::lock_guard lock(mu_);
    sent_.clear();
    log_.clear();
}

std::vector<std::string> ScriptedPort::log() const {
    std::lock_guard lock(mu_);
    return log_;
}

Timeouts ScriptedPort::timeouts() const {
    std::lock_guard lock(mu_);
    return timeouts_;
}

LineSettings ScriptedPort::lineSettings() const {
    std::lock_guard lock(mu_);
    return line_;
}

bool ScriptedPort::isClosed() const {
    std::lock_guard lock(mu_);
    return closed_;
}

size_t ScriptedPort::pendingInput() const {
    std::lock_guard lock(mu_);
    return rx_.size();
}

int ScriptedPort::waiters() const {
    std::lock_guard lock(mu_);
    return waiters_;
}

bool ScriptedPort::enter(Op op, const std::string &what) {
    log_.push_back(what);
    if (closed_) {
        setLastError(kErrInvalidHandle);
        return false;
    }
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->op != op) continue;
        if (it->skip-- > 0) continue;
        setLastError(it->code);
        faults_.erase(it);
        return false;
    }
    return true;
}

bool ScriptedPort::getLineSettings(LineSettings &out) {
    std::lock_guard lock(mu_);
    if (!enter(Op::GetLine, "getLine")) return false;
    if (!found_) found_ = line_;
    out = line_;
    return true;
}

bool ScriptedPort::setLineSettings(const LineSettings &in) {
    std::lock_guard lock(mu_);
    if (!enter(Op::SetLine, "setLine")) return false;
    line_ = in;
    return true;
}

bool ScriptedPort::getTimeouts(Timeouts &out) {
    std::lock_guard lock(mu_);
    if (!enter(Op::GetTimeouts, "getTimeouts")) return false;
    out = timeouts_;
    return true;
}

bool ScriptedPort::setTimeouts(const Timeouts &in) {
    std::lock_guard lock(mu_);
    if (!enter(Op::SetTimeouts, "setTimeouts " + std::to_string(in.readConstant))) return false;
    timeouts_ = in;
    return true;
}

bool ScriptedPort::purgeTx() {
    std::lock_guard lock(mu_);
    return enter(Op::PurgeTx, "purgeTx");
}

bool ScriptedPort::purgeRx() {
    std::lock_guard lock(mu_);
    if (!enter(Op::PurgeRx, "purgeRx")) return false;
    // Only what has arrived is in the queue to discard.
    const auto now = clock_->now();
    while (!rx_.empty() && rx_.front().at <= now) rx_.pop_front();
    return true;
}

bool ScriptedPort::write(const uint8_t *buf, size_t n, size_t &written) {
    written = 0;
    Bytes moved;
    {
        std::unique_lock lock(mu_);
        if (!enter(Op::Write, "write " + std::to_string(n))) return false;
        const WriteDeadline dl(timeouts_, n, clock_->now());
        written = std::min(n, writeLimit_);
        moved.assign(buf, buf + written);
        sent_.insert(sent_.end(), moved.begin(), moved.end());
        if (written < n) {
            // The rest never leaves: wait out the write time-out.
            if (const auto end = dl.expiry())
                while (!closed_ && clock_->now() < *end) clock_->waitUntil(lock, cv_, *end);
            else
                cv_.wait(lock, [this] { return closed_; });
        }
    }
    if (onWrite && !moved.empty()) onWrite(*this, moved);
    setLastError(kErrTimeout);
    return true;
}

bool ScriptedPort::read(uint8_t *buf, size_t n, size_t &got) {
    got = 0;
    std::unique_lock lock(mu_);
    if (!enter(Op::Read, "read " + std::to_string(n))) return false;
    ReadDeadline dl(timeouts_, n, clock_->now());
    for (;;) {
        const auto now = clock_->now();
        bool stop = false;
        while (got < n && !rx_.empty() && rx_.front().at <= now) {
            // A byte that came after the read had ended is not part of it.
            if (!dl.returnAtOnce() && dl.expired(rx_.front().at)) {
                stop = true;
                break;
            }
            buf[got++] = rx_.front().byte;
            dl.bytesArrived(rx_.front().at);
            rx_.pop_front();
            if (dl.endsOnFirstByte()) stop = true;
        }
        if (stop || got == n || dl.expired(now)) break;
        auto until = dl.expiry();
        if (!rx_.empty() && (!until || rx_.front().at < *until)) until = rx_.front().at;
        if (until)
            clock_->waitUntil(lock, cv_, *until);
        else
            cv_.wait(lock);
        if (closed_) {
            setLastError(kErrOperationAborted);
            return false;
        }
    }
    setLastError(kErrTimeout);
    return true;
}

bool ScriptedPort::setRts(bool on) {
    {
        std::lock_guard lock(mu_);
        if (!enter(Op::SetRts, on ? "rts 1" : "rts 0")) return false;
    }
    if (onRts) onRts(*this, on);
    return true;
}

bool ScriptedPort::modemStatus(uint32_t &bits) {
    std::lock_guard lock(mu_);
    if (!enter(Op::Modem, "modem")) return false;
    bits = modem_;
    return true;
}

bool ScriptedPort::watchDsr() {
    std::lock_guard lock(mu_);
    if (!enter(Op::Watch, "watchDsr")) return false;
    watching_ = true;
    return true;
}

bool ScriptedPort::waitDsrChange() {
    std::unique_lock lock(mu_);
    if (!enter(Op::WaitDsr, "waitDsr")) return false;
    const uint64_t start = dsrChanges_;
    ++waiters_;
    cv_.notify_all();
    cv_.wait(lock, [&] { return closed_ || dsrChanges_ != start; });
    --waiters_;
    if (dsrChanges_ != start) return true;
    setLastError(kErrOperationAborted);
    return false;
}

bool ScriptedPort::restoreLine() {
    std::lock_guard lock(mu_);
    if (!enter(Op::RestoreLine, "restoreLine")) return false;
    if (found_) line_ = *found_;
    return true;
}

bool ScriptedPort::close() {
    std::lock_guard lock(mu_);
    if (!enter(Op::Close, "close")) return false;
    closed_ = true;
    cv_.notify_all();
    return true;
}

ScriptedReader::ScriptedReader(ScriptedPort &port) {
    port.onWrite = [this](ScriptedPort &p, const Bytes &b) { received(p, b); };
    port.onRts = [this](ScriptedPort &p, bool on) {
        if (on) {
            rtsRaised_ = true;
        } else if (rtsRaised_) {
            rtsRaised_ = false;
            if (!resetAnswer.empty()) p.feed(resetAnswer, resetDelay, resetGap);
        }
    };
}

void ScriptedReader::reply(uint8_t stat, uint8_t sw1, uint8_t sw2, const Bytes &data,
                           std::chrono::milliseconds delay) {
    Bytes b(4 + data.size());
    b[0] = stat;
    b[1] = sw1;
    b[2] = sw2;
    b[3] = static_cast<uint8_t>(data.size());
    std::copy(data.begin(), data.end(), b.begin() + 4);
    replies.push_back({b, delay});
}

void ScriptedReader::received(ScriptedPort &port, const Bytes &bytes) {
    if (echo) port.feed(bytes);
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    for (;;) {
        if (pending_.size() < 6) return;
        size_t need = 6;
        if (pending_[0] & 0x80) need += pending_[5] == 0 ? 256 : pending_[5];
        if (pending_.size() < need) return;
        frames.emplace_back(pending_.begin(), pending_.begin() + static_cast<long>(need));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(need));
        if (!replies.empty()) {
            port.feed(replies.front().bytes, replies.front().delay);
            replies.pop_front();
        }
    }
}

Bytes identification(char tenth, size_t n) {
    Bytes id(n, ' ');
    const char *text = "VEXA KVR7";
    for (size_t i = 0; i < 9 && i < n; ++i) id[i] = static_cast<uint8_t>(text[i]);
    if (n > 9) id[9] = static_cast<uint8_t>(tenth);
    return id;
}

Bytes resetAnswer(const Bytes &id, uint8_t status) {
    Bytes b(3 + id.size());
    b[0] = 0x90;
    b[1] = status;
    b[2] = static_cast<uint8_t>(id.size());
    std::copy(id.begin(), id.end(), b.begin() + 3);
    return b;
}

}  // namespace kvr7x::test
