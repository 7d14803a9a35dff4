#include "keyed_file/sqlite/connection.h"

#include "keyed_file/sqlite/status.h"

#include <sqlite3.h>

#include <algorithm>
#include <thread>

namespace kvr::keyed::sqlite {

int Connection::open(const std::string &path, int flags) {
    const int result = sqlite3_open_v2(path.c_str(), &handle_, flags, nullptr);
    if (result != SQLITE_OK) return result;
    sqlite3_extended_result_codes(handle_, 1);
    sqlite3_busy_handler(handle_, &Connection::onBusy, this);
    return SQLITE_OK;
}

void Connection::close() {
    statements_.clear();
    if (handle_) sqlite3_close_v2(handle_);
    handle_ = nullptr;
    share_.release();
    waiting_ = false;
}

int Connection::exec(const char *sql) {
    const int result = sqlite3_exec(handle_, sql, nullptr, nullptr, nullptr);
    settle();
    return result;
}

StatementUse Connection::cached(const std::string &sql) {
    auto found = statements_.find(sql);
    if (found == statements_.end()) {
        auto statement = std::make_unique<Statement>(handle_, sql, true);
        if (!statement->ready()) return StatementUse(nullptr, statement->result());
        found = statements_.emplace(sql, std::move(statement)).first;
    }
    found->second->reset();
    return StatementUse(found->second.get(), SQLITE_OK);
}

KeyedStatus Connection::status(int result) const {
    if ((result & 0xFF) == SQLITE_CORRUPT) damageReported_ = true;
    return statusOfSqlite(result, handle_);
}

bool Connection::takeDamageReported() {
    const bool reported = damageReported_;
    damageReported_ = false;
    return reported;
}

int Connection::changeCounter(std::uint32_t &counter) {
    sqlite3_file *file = nullptr;
    int result = sqlite3_file_control(handle_, "main", SQLITE_FCNTL_FILE_POINTER, &file);
    if (result != SQLITE_OK) return result;
    if (!file || !file->pMethods) return SQLITE_MISUSE;
    unsigned char bytes[4] = {};
    constexpr sqlite3_int64 kCounterOffset = 24;
    result = file->pMethods->xRead(file, bytes, sizeof bytes, kCounterOffset);
    if (result != SQLITE_OK) return result;
    counter = std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 | bytes[3];
    return SQLITE_OK;
}

void Connection::usePlainBusyTimeout(int ms) { sqlite3_busy_timeout(handle_, ms); }

int Connection::onBusy(void *self, int count) {
    auto *c = static_cast<Connection *>(self);
    const auto now = std::chrono::steady_clock::now();
    if (count == 0) {
        c->busySince_ = now;
        if (!c->waiting_) c->share_.markWaiting(true);
        c->waiting_ = true;
    }
    const auto left = std::chrono::milliseconds(c->busyTimeoutMs_) - (now - c->busySince_);
    if (left <= std::chrono::milliseconds(0)) return 0;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(2)));
    return 1;
}

void Connection::settle() {
    if (!waiting_) return;
    share_.markWaiting(false);
    waiting_ = false;
}

void Connection::yieldToWaiters() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(busyTimeoutMs_);
    while (share_.othersWaiting() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace kvr::keyed::sqlite
