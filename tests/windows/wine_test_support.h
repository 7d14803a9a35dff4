// What the Windows tests share: the names the test runner
// (run_wine_tests.py) passes in the environment, the emulator's control
// commands over a loopback connection, and a message-only window of the
// test's own that QXNOTIFY posts to.
#ifndef KVR7X_TESTS_WINDOWS_WINE_TEST_SUPPORT_H
#define KVR7X_TESTS_WINDOWS_WINE_TEST_SUPPORT_H

#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace kvr7x::wintest {

// An environment variable of the test runner; empty when unset.
std::string runnerValue(const char *name);

// Milliseconds since `start`.
long msSince(std::chrono::steady_clock::time_point start);

// Sends one control command ("card out") to the emulator named by
// KVR_EMU_CONTROL and returns its answer line ("ok: card out").
std::string emulatorControl(const std::string &command);

// A message-only window; posted messages wait in this thread's queue.
class MessageWindow {
public:
    MessageWindow();
    ~MessageWindow();
    MessageWindow(const MessageWindow &) = delete;
    MessageWindow &operator=(const MessageWindow &) = delete;

    HWND handle() const { return hwnd_; }

    // The next message `msg` posted to the window within `limitMs`; false
    // when none came.
    bool next(UINT msg, DWORD limitMs, WPARAM &wParam, LPARAM &lParam);

private:
    HWND hwnd_ = nullptr;
};

// Polls `done` every 10 ms for at most `limitMs`; its last answer.
template <typename F>
bool eventually(F done, long limitMs) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (done()) return true;
        if (msSince(start) > limitMs) return false;
        Sleep(10);
    }
}

}  // namespace kvr7x::wintest

#endif
