#include "port_table.h"

#include <array>
#include <cassert>
#include <mutex>
#include <set>

namespace kvr7x {

namespace {

struct Entry {
    std::shared_ptr<SerialPort> port;
    std::vector<std::string> identities;  // claimed target, empty when none
    std::optional<PortTarget> target;     // what the port was opened on
    bool reserved = false;                // kept for a port being opened
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

void release(Table &t, const std::vector<std::string> &identities) {
    for (const std::string &id : identities) {
        assert(t.claimed.count(id) == 1);
        t.claimed.erase(id);
    }
}

}  // namespace

TargetClaim::TargetClaim(std::vector<std::string> identities) : identities_(std::move(identities)) {
    Table &t = table();
    std::lock_guard lock(t.mu);
    for (const std::string &id : identities_)
        if (t.claimed.count(id)) return;
    t.claimed.insert(identities_.begin(), identities_.end());
    held_ = true;
}

TargetClaim::~TargetClaim() {
    if (!held_) return;
    Table &t = table();
    std::lock_guard lock(t.mu);
    release(t, identities_);
}

PortSlot::PortSlot() {
    Table &t = table();
    std::lock_guard lock(t.mu);
    for (int32_t h = 0; h < kMaxPorts; ++h) {
        Entry &e = t.entries[static_cast<size_t>(h)];
        if (e.port || e.reserved) continue;
        e.reserved = true;
        handle_ = h;
        return;
    }
}

PortSlot::~PortSlot() {
    if (handle_ < 0) return;
    assert(handle_ < kMaxPorts);
    Table &t = table();
    std::lock_guard lock(t.mu);
    t.entries[static_cast<size_t>(handle_)].reserved = false;
}

int32_t PortSlot::place(std::shared_ptr<SerialPort> port, TargetClaim *claim,
                        std::optional<PortTarget> target) {
    if (handle_ < 0 || !port) return -1;
    Table &t = table();
    std::lock_guard lock(t.mu);
    assert(handle_ < kMaxPorts);
    Entry &e = t.entries[static_cast<size_t>(handle_)];
    // The slot was reserved by this object and nobody else fills it.
    assert(e.reserved && !e.port);
    e.port = std::move(port);
    e.reserved = false;
    e.target = std::move(target);
    e.identities.clear();
    if (claim && claim->held()) {
        e.identities = claim->identities();
        claim->handOver();
    }
    const int32_t h = handle_;
    handle_ = -1;
    return h;
}

int32_t registerPort(std::shared_ptr<SerialPort> port, TargetClaim *claim) {
    if (!port) return -1;
    PortSlot slot;
    return slot.place(std::move(port), claim);
}

std::shared_ptr<SerialPort> findPort(int32_t handle) {
    if (handle < 0 || handle >= kMaxPorts) return nullptr;
    Table &t = table();
    std::lock_guard lock(t.mu);
    return t.entries[static_cast<size_t>(handle)].port;
}

std::optional<PortTarget> targetOf(int32_t handle) {
    if (handle < 0 || handle >= kMaxPorts) return std::nullopt;
    Table &t = table();
    std::lock_guard lock(t.mu);
    const Entry &e = t.entries[static_cast<size_t>(handle)];
    return e.port ? e.target : std::nullopt;
}

bool replacePort(int32_t handle, const std::shared_ptr<SerialPort> &current,
                 std::shared_ptr<SerialPort> replacement) {
    if (handle < 0 || handle >= kMaxPorts || !replacement) return false;
    Table &t = table();
    std::lock_guard lock(t.mu);
    Entry &e = t.entries[static_cast<size_t>(handle)];
    if (!e.port || e.port != current) return false;
    e.port = std::move(replacement);
    return true;
}

bool closePort(int32_t handle) {
    if (handle < 0 || handle >= kMaxPorts) {
        setLastError(kErrInvalidHandle);
        return false;
    }
    std::shared_ptr<SerialPort> port;
    std::vector<std::string> identities;
    {
        Table &t = table();
        std::lock_guard lock(t.mu);
        Entry &e = t.entries[static_cast<size_t>(handle)];
        if (!e.port) {
            setLastError(kErrInvalidHandle);
            return false;
        }
        port = std::move(e.port);
        identities = std::move(e.identities);
        e.port.reset();
        e.identities.clear();
        e.target.reset();
    }
    // Close outside the lock: closing may wait for a watcher to leave.
    const bool ok = port->close();
    if (!identities.empty()) {
        Table &t = table();
        std::lock_guard lock(t.mu);
        release(t, identities);
    }
    return ok;
}

}  // namespace kvr7x
