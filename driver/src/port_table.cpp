#include "port_table.h"

#include <array>
#include <mutex>
#include <set>

namespace kvr7x {

namespace {

struct Entry {
    std::shared_ptr<SerialPort> port;
    std::string key;  // claimed target, empty when none
};

struct Table {
    std::mutex mu;
    std::array<Entry, kMaxPorts> entries;
    std::set<std::string> claimed;
};

Table &table() {
    static Table t;
    return t;
}

}  // namespace

TargetClaim::TargetClaim(std::string key) : key_(std::move(key)) {
    Table &t = table();
    std::lock_guard lock(t.mu);
    held_ = t.claimed.insert(key_).second;
}

TargetClaim::~TargetClaim() {
    if (!held_) return;
    Table &t = table();
    std::lock_guard lock(t.mu);
    t.claimed.erase(key_);
}

int32_t registerPort(std::shared_ptr<SerialPort> port, TargetClaim *claim) {
    if (!port) return -1;
    Table &t = table();
    std::lock_guard lock(t.mu);
    for (int32_t h = 0; h < kMaxPorts; ++h) {
        Entry &e = t.entries[static_cast<size_t>(h)];
        if (e.port) continue;
        e.port = std::move(port);
        if (claim && claim->held()) {
            e.key = claim->key();
            claim->handOver();
        } else {
            e.key.clear();
        }
        return h;
    }
    return -1;
}

std::shared_ptr<SerialPort> findPort(int32_t handle) {
    if (handle < 0 || handle >= kMaxPorts) return nullptr;
    Table &t = table();
    std::lock_guard lock(t.mu);
    return t.entries[static_cast<size_t>(handle)].port;
}

bool closePort(int32_t handle) {
    if (handle < 0 || handle >= kMaxPorts) {
        setLastError(kErrInvalidHandle);
        return false;
    }
    std::shared_ptr<SerialPort> port;
    std::string key;
    {
        Table &t = table();
        std::lock_guard lock(t.mu);
        Entry &e = t.entries[static_cast<size_t>(handle)];
        port = std::move(e.port);
        key = std::move(e.key);
        e.port.reset();
        e.key.clear();
        if (!port) {
            setLastError(kErrInvalidHandle);
            return false;
        }
    }
    // Close outside the lock: closing may wait for a watcher to leave.
    const bool ok = port->close();
    if (!key.empty()) {
        Table &t = table();
        std::lock_guard lock(t.mu);
        t.claimed.erase(key);
    }
    return ok;
}

}  // namespace kvr7x
