#include "notifier.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "notify_platform.h"
#include "port_table.h"

namespace kvr7x {

namespace {

struct NotifyRecord {
    std::atomic<int32_t> port{0};
    std::atomic<KVR7xNotifyTarget> target{nullptr};
    std::atomic<uint32_t> message{0};
    std::atomic<uint32_t> stop{0};
};

NotifyRecord g_record;

std::mutex g_sinkMu;
NotifyMessageSink g_sink;

void show(const char *caption, const char *text) {
    NotifyMessageSink sink;
    {
        std::lock_guard lock(g_sinkMu);
        sink = g_sink;
    }
    if (sink) {
        sink(caption, text);
    } else {
        showNotifyMessage(caption, text);
    }
}

// The thread makes no event of its own to wait on (a port's wait brings
// what it needs: a Windows COM port makes its event for each wait), so of
// its four messages "CreateEvent failed" cannot occur here; a wait that
// cannot make its event breaks down ("WaitForSingleObject failed").
uint32_t notificationThread() {
    NotifyRecord &rec = g_record;
    while (rec.stop.load() == 0) {
        // Wait for a DSR change on the record's port.  The port is held for
        // the whole wait, so closing it ends the wait but cannot free it.
        std::shared_ptr<SerialPort> port = findPort(rec.port.load());
        if (!port) {
            show("KVR7X", "WaitEvent failed");
            return 0;
        }
        if (!port->waitDsrChange()) {
            const uint32_t code = lastError();
            if (code == kErrInvalidHandle || code == kErrInvalidParameter) {
                // The wait could not begin: the port is closed or not watched.
                show("KVR7X", "WaitEvent failed");
                return 0;
            }
            if (code != kErrOperationAborted) {
                // The wait began and broke down.
                show("KvrCtl Error", "WaitForSingleObject failed");
                return 0;
            }
            // Ended by the port's close: carry on as after any other wake.
        }
        port.reset();
        // Whatever ended the wait, report the line as it is now, on the
        // port the record names now.
        std::shared_ptr<SerialPort> now = findPort(rec.port.load());
        uint32_t bits = 0;
        if (now && now->modemStatus(bits)) {
            deliverNotification(rec.target.load(), rec.message.load(),
                                (bits & kModemDsr) ? 1u : 0u);
        }
    }
    show("KVR7X.DLL", "Notification Thread Stopped");
    return 1;
}

}  // namespace

void setNotifyMessageSink(NotifyMessageSink sink) {
    std::lock_guard lock(g_sinkMu);
    g_sink = std::move(sink);
}

uintptr_t notifyCardChanges(int32_t port, KVR7xNotifyTarget target, uint32_t message) {
    g_record.port.store(port);
    g_record.target.store(target);
    g_record.message.store(message);
    g_record.stop.store(0);
    if (!target) {
        g_record.stop.store(1);
        return 0;
    }
    const std::shared_ptr<SerialPort> p = findPort(port);
    if (!p || !p->watchDsr()) return 0;
    return startNotifyThread(notificationThread);
}

}  // namespace kvr7x
