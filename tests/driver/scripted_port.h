// An in-process serial port for tests: it records what the host sends and
// answers with scripted bytes at scripted times, under the same read/write
// time-out rules as the real ports, on a clock the test chooses (PortClock).
// A ScriptedReader on top of it plays a reader: it echoes in echo mode,
// answers each complete command frame with the next queued reply, and
// answers the reset pulse.
#ifndef KVR7X_TESTS_SCRIPTED_PORT_H
#define KVR7X_TESTS_SCRIPTED_PORT_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "serial_port.h"
#include "transfer_deadline.h"

namespace kvr7x::test {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

enum class Op {
    GetLine,
    SetLine,
    GetTimeouts,
    SetTimeouts,
    PurgeTx,
    PurgeRx,
    Write,
    Read,
    SetRts,
    Modem,
    Watch,
    WaitDsr,
    RestoreLine,
    Close
};

// The time a scripted port keeps.  On a simulated clock nothing waits: a
// transfer that has nothing to do until some moment moves the clock there at
// once, so how long a call took is exact arithmetic on the clock
// (clock.now() - before), however busy the machine is.  On the real clock
// the port waits as a device would, for the few checks of the whole on the
// wall clock.  Time the library spends outside the port (the sleep of the
// reset pulse) passes only on the real clock.
class PortClock {
public:
    using time_point = DeadlineClock::time_point;
    using duration = DeadlineClock::duration;

    static std::shared_ptr<PortClock> simulated();
    static std::shared_ptr<PortClock> real();

    time_point now() const;

    // Lets `d` pass: moves a simulated clock on; sleeps on the real one.
    void advance(duration d);

    // Waits on `cv` (its lock held) until `until` or a notification; may
    // return early.  A simulated clock moves to `until` and returns.
    void waitUntil(std::unique_lock<std::mutex> &lock, std::condition_variable &cv,
                   time_point until);

private:
    explicit PortClock(bool simulated) : simulated_(simulated) {}
    const bool simulated_;
    // Simulated time since the clock's origin, in clock ticks.
    std::atomic<duration::rep> elapsed_{0};
};

class ScriptedPort : public SerialPort {
public:
    using Clock = DeadlineClock;

    // A port on its own simulated clock, or on the clock given.
    ScriptedPort() : ScriptedPort(PortClock::simulated()) {}
    explicit ScriptedPort(std::shared_ptr<PortClock> clock) : clock_(std::move(clock)) {}

    PortClock &clock() const { return *clock_; }

    // Bytes arriving from the reader: the first after `delay`, the rest
    // `gap` apart.
    void feed(const Bytes &bytes, std::chrono::milliseconds delay = 0ms,
              std::chrono::milliseconds gap = 0ms);

    // The `nth` coming call (1 = the next) of an operation fails with code.
    void failAt(Op op, int nth, uint32_t code);
    // Writes move at most this many bytes, then run into their time-out.
    void limitWrites(size_t maxBytes);

    void setModemLines(uint32_t bits);
    // Changes DSR (and counts a change for a waiting watcher).
    void setDsr(bool on);

    // Called (without the port's lock) after each write / RTS change.
    std::function<void(ScriptedPort &, const Bytes &)> onWrite;
    std::function<void(ScriptedPort &, bool)> onRts;

    Bytes sent() const;
    void clearSent();
    std::vector<std::string> log() const;
    Timeouts timeouts() const;
    LineSettings lineSettings() const;
    bool isClosed() const;
    size_t pendingInput() const;
    int waiters() const;

    bool getLineSettings(LineSettings &out) override;
    bool setLineSettings(const LineSettings &in) override;
    bool getTimeouts(Timeouts &out) override;
    bool setTimeouts(const Timeouts &in) override;
    bool purgeTx() override;
    bool purgeRx() override;
    bool write(const uint8_t *buf, size_t n, size_t &written) override;
    bool read(uint8_t *buf, size_t n, size_t &got) override;
    bool setRts(bool on) override;
    bool modemStatus(uint32_t &bits) override;
    bool watchDsr() override;
    bool waitDsrChange() override;
    bool restoreLine() override;
    bool close() override;

private:
    struct Arrival {
        Clock::time_point at;
        uint8_t byte;
    };
    struct Fault {
        Op op;
        int skip;
        uint32_t code;
    };
    // Logs the call; false with lastError set when a fault is due or the
    // port is closed.  Caller holds mu_.
    bool enter(Op op, const std::string &what);

    const std::shared_ptr<PortClock> clock_;
    mutable std::mutex mu_;
    std::condition_variable cv_;
    std::deque<Arrival> rx_;
    Bytes sent_;
    std::vector<std::string> log_;
    std::vector<Fault> faults_;
    Timeouts timeouts_{};
    LineSettings line_{};
    std::optional<LineSettings> found_;  // as the first read of the settings saw them
    size_t writeLimit_ = SIZE_MAX;
    uint32_t modem_ = 0;
    uint64_t dsrChanges_ = 0;
    bool closed_ = false;
    bool watching_ = false;
    int waiters_ = 0;
};

// A reader behind a ScriptedPort.
class ScriptedReader {
public:
    struct Reply {
        Bytes bytes;
        std::chrono::milliseconds delay{0};
    };
    explicit ScriptedReader(ScriptedPort &port);

    bool echo = false;          // send back every byte received
    std::deque<Reply> replies;  // one per complete command frame
    std::vector<Bytes> frames;  // command frames received (header + data)
    Bytes resetAnswer;          // sent when RTS falls after a rise
    std::chrono::milliseconds resetDelay{0};
    std::chrono::milliseconds resetGap{0};

    // Queues a reply STAT SW1 SW2 LEN data...
    void reply(uint8_t stat, uint8_t sw1, uint8_t sw2, const Bytes &data = {},
               std::chrono::milliseconds delay = 0ms);

private:
    void received(ScriptedPort &port, const Bytes &bytes);
    Bytes pending_;
    bool rtsRaised_ = false;
};

// "VEXA..." identification with the given tenth byte.
Bytes identification(char tenth, size_t n = 32);
// A reset answer: 0x90 status N id...
Bytes resetAnswer(const Bytes &id, uint8_t status = 0x00);

}  // namespace kvr7x::test

#endif
