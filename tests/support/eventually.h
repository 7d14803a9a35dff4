// Waiting for another thread or process without guessing how long it takes:
// a condition polled until it holds or a generous limit passes, and what a
// condition can ask of another thread of this process (is it waiting yet?).
#ifndef KVR7X_TESTS_EVENTUALLY_H
#define KVR7X_TESTS_EVENTUALLY_H

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

namespace kvr7x::test {

// Polls `condition` every few milliseconds; true as soon as it holds, false
// when it still does not after `limit` (a bound for a broken program, not a
// timing the test relies on).  `every`: the pause between two polls, longer
// for a condition that costs the other side something to answer (a
// connection to a server, an exchange with a reader).
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(5),
                std::chrono::milliseconds every = std::chrono::milliseconds(2)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return condition();
        std::this_thread::sleep_for(every);
    }
}

// The system call a thread of this process sleeps in (SYS_poll, SYS_futex,
// ...), or -1 while it runs or sleeps outside one: how a test knows that
// another thread has got as far as waiting, without a sleep of its own.
inline long blockedSyscall(pid_t tid) {
    const std::string task = "/proc/self/task/" + std::to_string(tid);
    std::ifstream stat(task + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t name = line.rfind(')');  // the command name may hold anything
    if (name == std::string::npos || name + 2 >= line.size() || line[name + 2] != 'S') return -1;
    std::ifstream call(task + "/syscall");
    std::string first;
    if (!(call >> first) || first == "running") return -1;
    try {
        return std::stol(first);
    } catch (...) {
        return -1;
    }
}

// The threads of this process now, by id: the one a library call started is
// in the set after the call and not before it.
inline std::set<pid_t> threadIds() {
    std::set<pid_t> ids;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/task")) {
        try {
            ids.insert(static_cast<pid_t>(std::stol(entry.path().filename().string())));
        } catch (...) {}
    }
    return ids;
}

// The one thread in `after` that is not in `before`, or 0.
inline pid_t newThread(const std::set<pid_t> &before, const std::set<pid_t> &after) {
    pid_t found = 0;
    for (pid_t id : after)
        if (!before.count(id)) {
            if (found) return 0;
            found = id;
        }
    return found;
}

}  // namespace kvr7x::test

#endif
