#include "script.h"

#include <cstdio>

namespace kvr::runtime::win32::test {
namespace {

constexpr UINT_PTR kTimer = 0x5C41;
constexpr UINT kTickMs = 15;
constexpr std::uint64_t kStepLimitMs = 5000;
constexpr DWORD kWatchdogMs = 60000;
constexpr wchar_t kProperty[] = L"kvr.test.script";

INPUT key(WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = WORD(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

void send(std::vector<INPUT> inputs) { SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT)); }

}  // namespace

Script &Script::step(std::string description, std::function<void()> action, std::function<bool()> until) {
    steps_.push_back({std::move(description), std::move(action), std::move(until)});
    return *this;
}

Script::~Script() {
    if (!watchdog_) return;
    SetEvent(done_);
    WaitForSingleObject(watchdog_, INFINITE);
    CloseHandle(watchdog_);
    CloseHandle(done_);
}

DWORD WINAPI Script::watch(void *self) {
    auto *script = static_cast<Script *>(self);
    if (WaitForSingleObject(script->done_, kWatchdogMs) == WAIT_TIMEOUT) {
        const std::size_t step = script->next_;
        std::fprintf(stderr, "script stuck at step %zu (%s): ended\n", step,
                     step < script->steps_.size() ? script->steps_[step].description.c_str() : "after the last");
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    return 0;
}

void Script::play(HWND window) {
    window_ = window;
    done_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    watchdog_ = CreateThread(nullptr, 0, &Script::watch, this, 0, nullptr);
    SetPropW(window, kProperty, this);
    SetTimer(window, kTimer, kTickMs, &Script::tick);
}

void CALLBACK Script::tick(HWND window, UINT, UINT_PTR, DWORD) {
    if (auto *script = static_cast<Script *>(GetPropW(window, kProperty))) script->advance();
}

void Script::advance() {
    while (!finished_ && next_ < steps_.size()) {
        Step &current = steps_[next_];
        if (!current.started) {
            current.started = true;
            current.deadline = GetTickCount64() + kStepLimitMs;
            // The action may run a loop of its own (a message box): the
            // ticks in that loop carry on with the steps after it.
            if (current.action) current.action();
            return;
        }
        if (current.until && !current.until()) {
            if (GetTickCount64() > current.deadline) finish(current.description);
            return;
        }
        ++next_;
    }
    if (!finished_) finish({});
}

void Script::finish(std::string failed) {
    finished_ = true;
    failed_ = std::move(failed);
    KillTimer(window_, kTimer);
    // A menu left open by a failed step would keep the window's loop
    // waiting for it.
    if (!failed_.empty()) EndMenu();
    RemovePropW(window_, kProperty);
    PostMessageW(window_, WM_CLOSE, 0, 0);
}

void pressKeys(const std::vector<WORD> &virtualKeys) {
    std::vector<INPUT> inputs;
    for (WORD vk : virtualKeys) {
        inputs.push_back(key(vk, false));
        inputs.push_back(key(vk, true));
    }
    send(inputs);
}

void pressChord(const std::vector<WORD> &modifiers, WORD virtualKey) {
    std::vector<INPUT> inputs;
    for (WORD vk : modifiers) inputs.push_back(key(vk, false));
    inputs.push_back(key(virtualKey, false));
    inputs.push_back(key(virtualKey, true));
    for (auto vk = modifiers.rbegin(); vk != modifiers.rend(); ++vk) inputs.push_back(key(*vk, true));
    send(inputs);
}

void clickAt(POINT screen) {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    std::vector<INPUT> inputs(3);
    for (INPUT &input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = LONG(MulDiv(int(screen.x), 65535, width - 1));
        input.mi.dy = LONG(MulDiv(int(screen.y), 65535, height - 1));
    }
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    send(inputs);
}

}  // namespace kvr::runtime::win32::test
