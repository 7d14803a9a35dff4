#include "frame_log.h"

#include "common/hex.h"

namespace kvr7x::emu {

void FrameLog::add(LogEntry::Kind kind, std::string what, std::vector<uint8_t> bytes) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    if (!stream_ && !keep_) return;
    if (stream_) {
        static const char *const arrows[] = {"<-", "->", "--", "=="};
        const double ms = std::chrono::duration<double, std::milli>(now - start_).count();
        std::fprintf(stream_, "%10.3f %s %s%s%s\n", ms, arrows[static_cast<int>(kind)], what.c_str(),
                     bytes.empty() ? "" : ": ", kvr::common::hexSpaced(bytes).c_str());
        std::fflush(stream_);
    }
    if (!keep_) return;
    if (entries_.size() >= kKeepMax)
        entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(kKeepMax / 2));
    entries_.push_back({now, kind, std::move(what), std::move(bytes)});
    added_.notify_all();
}

std::vector<LogEntry> FrameLog::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

void FrameLog::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

bool FrameLog::waitFor(const std::function<bool(const std::vector<LogEntry> &)> &ready,
                       std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return added_.wait_for(lock, limit, [&] { return ready(entries_); });
}

}  // namespace kvr7x::emu
