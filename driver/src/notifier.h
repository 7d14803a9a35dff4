// Card-detect notification: a thread that waits for changes of the port's
// DSR line (the reader's card-present line) and hands the caller's target
// the message number and 1 (card present) or 0: a procedure it calls on
// POSIX, a window it posts the message to on Windows (notify_platform.h).
//
// One notification record per process (port, procedure, message, stop
// flag).  A start or stop call writes all of it; the thread reads it at
// every turn, so a stop is seen only when the thread's current wait ends:
// at the next DSR change, or when the port is closed.
#ifndef KVR7X_NOTIFIER_H
#define KVR7X_NOTIFIER_H

#include <cstdint>
#include <functional>

#include "kvr7x.h"

namespace kvr7x {

// Starts (target not null) or stops (target null) notification.  Returns
// the new thread's handle as a number (pthread_t, or a Windows thread
// HANDLE), or 0.
[[nodiscard]] uintptr_t notifyCardChanges(int32_t port, KVR7xNotifyTarget target, uint32_t message);

// Where the thread's messages go: by default standard error, as
// "caption: text", or a message box on Windows.  An empty function
// restores the default.
using NotifyMessageSink = std::function<void(const char *caption, const char *text)>;
void setNotifyMessageSink(NotifyMessageSink sink);

}  // namespace kvr7x

#endif
