// What the notification thread needs of the system: a thread to run on,
// the delivery of a line change to the caller's target, and a way to show
// its messages.  POSIX: a pthread, a procedure called on the thread,
// standard error.  Windows: CreateThread, PostMessageA, MessageBoxA.
#ifndef KVR7X_NOTIFY_PLATFORM_H
#define KVR7X_NOTIFY_PLATFORM_H

#include <cstdint>

#include "kvr7x.h"

namespace kvr7x {

// Runs `body` on a new thread whose exit code is body's result.  The
// thread's handle as a number (the caller of QXNOTIFY owns it), or 0 when
// no thread could be started.
[[nodiscard]] uintptr_t startNotifyThread(uint32_t (*body)());

// Hands the message number and the card state (1 present, 0 not) to the
// target without waiting for it; a null target receives nothing.
void deliverNotification(KVR7xNotifyTarget target, uint32_t message, uint32_t cardPresent);

// Shows one of the thread's messages the system's way.
void showNotifyMessage(const char *caption, const char *text);

}  // namespace kvr7x

#endif
