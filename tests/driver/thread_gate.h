// A point where a thread stops until the test lets it go: a port's seams
// hold one of its threads here, so that a race between threads comes out
// the same way every time instead of by timing.
#ifndef KVR7X_TESTS_THREAD_GATE_H
#define KVR7X_TESTS_THREAD_GATE_H

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

namespace kvr7x::test {

class ThreadGate {
public:
    // Limits for a broken program, not timings a test relies on.
    static constexpr auto kLimit = std::chrono::seconds(10);

    // The next thread that passes stops here until open().
    void arm() {
        std::lock_guard lock(mu_);
        armed_ = true;
        arrived_ = false;
        open_ = false;
    }
    // Where the held thread calls in: stops while the gate is armed and
    // not open.
    void pass() {
        std::unique_lock lock(mu_);
        if (!armed_) return;
        armed_ = false;
        arrived_ = true;
        cv_.notify_all();
        cv_.wait_for(lock, kLimit, [this] { return open_; });
    }
    // Whether a thread has stopped at the gate, waiting for it at most kLimit.
    bool waitArrived() {
        std::unique_lock lock(mu_);
        return cv_.wait_for(lock, kLimit, [this] { return arrived_; });
    }
    void open() {
        std::lock_guard lock(mu_);
        armed_ = false;
        open_ = true;
        cv_.notify_all();
    }

private:
    std::mutex mu_;
    std::condition_variable cv_;
    bool armed_ = false;
    bool arrived_ = false;
    bool open_ = false;
};

// Opens a gate when the scope ends, so that a test failing half-way never
// leaves a thread held while the port it belongs to is closed.
class GateOpener {
public:
    explicit GateOpener(std::shared_ptr<ThreadGate> gate) : gate_(std::move(gate)) {}
    ~GateOpener() { gate_->open(); }
    GateOpener(const GateOpener &) = delete;
    GateOpener &operator=(const GateOpener &) = delete;

private:
    std::shared_ptr<ThreadGate> gate_;
};

}  // namespace kvr7x::test

#endif
