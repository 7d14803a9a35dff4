// A test's script, played inside a window's own loop: steps run one after
// the other from a timer of the window, so that they also run inside the
// loops nested in it (a message box's, a menu's).  Each step does its
// action once and is done when its condition holds; a condition still
// false after its time limit fails the script.  When the script ends,
// either way, the window is asked to close.  Should the steps stop being
// played at all (a loop that handles no timer), a watchdog thread ends the
// program with the step's name after a minute.
#ifndef KVR_TESTS_RUNTIME_WIN32_SCRIPT_H
#define KVR_TESTS_RUNTIME_WIN32_SCRIPT_H

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kvr::runtime::win32::test {

class Script {
public:
    // description names the step in a failure.
    Script &step(std::string description, std::function<void()> action, std::function<bool()> until = {});

    // Starts playing in window's loop (call it from the window's running
    // callback).
    void play(HWND window);
    Script() = default;
    ~Script();
    Script(const Script &) = delete;
    Script &operator=(const Script &) = delete;

    bool passed() const { return finished_ && failed_.empty(); }
    // The step that timed out, or "not finished".
    std::string failure() const { return finished_ ? failed_ : "not finished"; }

private:
    struct Step {
        std::string description;
        std::function<void()> action;
        std::function<bool()> until;
        bool started = false;
        std::uint64_t deadline = 0;
    };
    static void CALLBACK tick(HWND window, UINT, UINT_PTR, DWORD);
    void advance();
    void finish(std::string failed);

    static DWORD WINAPI watch(void *self);

    std::vector<Step> steps_;
    HANDLE done_ = nullptr;
    HANDLE watchdog_ = nullptr;
    std::atomic<std::size_t> next_{0};
    HWND window_ = nullptr;
    bool finished_ = false;
    std::string failed_;
};

// Keys pressed and released through the system's input queue, as typed.
void pressKeys(const std::vector<WORD> &virtualKeys);
// One key with modifiers (VK_CONTROL, VK_SHIFT, VK_MENU) held down.
void pressChord(const std::vector<WORD> &modifiers, WORD virtualKey);
// A left click at a point on the screen.
void clickAt(POINT screen);

}  // namespace kvr::runtime::win32::test

#endif
