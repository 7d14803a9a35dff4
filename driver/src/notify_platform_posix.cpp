// The notification thread on POSIX: a pthread whose result is its exit
// code, a procedure called on it, messages on standard error.
#include <pthread.h>

#include <cstdio>

#include "notify_platform.h"

namespace kvr7x {

namespace {

void *runBody(void *body) {
    const auto run = reinterpret_cast<uint32_t (*)()>(body);
    // The thread's exit code travels as its pointer-sized result.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return reinterpret_cast<void *>(static_cast<uintptr_t>(run()));
}

}  // namespace

uintptr_t startNotifyThread(uint32_t (*body)()) {
    pthread_t thread{};
    if (pthread_create(&thread, nullptr, runBody, reinterpret_cast<void *>(body)) != 0) return 0;
    return static_cast<uintptr_t>(thread);
}

void deliverNotification(KVR7xNotifyTarget target, uint32_t message, uint32_t cardPresent) {
    if (target) target(message, cardPresent);
}

void showNotifyMessage(const char *caption, const char *text) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
}

}  // namespace kvr7x
