// The notification thread on Windows: CreateThread (default stack, starts
// at once), PostMessageA to the caller's window, MessageBoxA without an
// owner and with the OK button only.
#include <windows.h>

#include "notify_platform.h"

namespace kvr7x {

namespace {

DWORD WINAPI runBody(LPVOID body) {
    const auto run = reinterpret_cast<uint32_t (*)()>(body);
    return run();
}

}  // namespace

uintptr_t startNotifyThread(uint32_t (*body)()) {
    HANDLE thread = CreateThread(nullptr, 0, runBody, reinterpret_cast<LPVOID>(body), 0, nullptr);
    return reinterpret_cast<uintptr_t>(thread);
}

void deliverNotification(KVR7xNotifyTarget target, uint32_t message, uint32_t cardPresent) {
    // Posted, never sent: the thread does not wait for the window.  A
    // window that is gone makes the post fail, which changes nothing.
    if (target) PostMessageA(target, message, cardPresent, 0);
}

void showNotifyMessage(const char *caption, const char *text) {
    MessageBoxA(nullptr, text, caption, MB_OK);
}

}  // namespace kvr7x
