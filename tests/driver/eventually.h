// Waiting for another thread or process without guessing how long it takes:
// a condition polled until it holds or a generous limit passes.
#ifndef KVR7X_TESTS_EVENTUALLY_H
#define KVR7X_TESTS_EVENTUALLY_H

#include <sys/types.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace kvr7x::test {

// Polls `condition` every few milliseconds; true as soon as it holds, false
// when it still does not after `limit` (a bound for a broken program, not a
// timing the test relies on).
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// The system call a thread of this process is blocked in (SYS_poll,
// SYS_futex, ...), or -1 while it runs or sits outside one: how a test knows
// that another thread has got as far as waiting, without a sleep.
inline long blockedSyscall(pid_t tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
    std::string first;
    if (!(in >> first) || first == "running") return -1;
    try {
        return std::stol(first);
    } catch (...) {
        return -1;
    }
}

}  // namespace kvr7x::test

#endif
