#include "transfer_deadline.h"

#include <algorithm>
#include <climits>

namespace kvr7x {

namespace {

std::optional<DeadlineClock::time_point> totalLimit(uint32_t multiplier, uint32_t constant,
                                                    size_t n, DeadlineClock::time_point start) {
    if (multiplier == 0 && constant == 0) return std::nullopt;
    const uint64_t ms = uint64_t{multiplier} * uint64_t{n} + uint64_t{constant};
    return start + std::chrono::milliseconds(static_cast<int64_t>(ms));
}

}  // namespace

int msUntil(DeadlineClock::time_point now, DeadlineClock::time_point until) {
    if (until <= now) return 0;
    const auto left = until - now;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left);
    if (ms < left) ++ms;  // round up: never wake before the limit
    if (ms.count() >= INT_MAX) return INT_MAX;
    return static_cast<int>(ms.count());
}

ReadDeadline::ReadDeadline(const Timeouts &t, size_t n, Clock::time_point start) {
    if (t.readInterval == kTimeoutMax && t.readMultiplier == 0 && t.readConstant == 0) {
        atOnce_ = true;
        return;
    }
    if (t.readInterval == kTimeoutMax && t.readMultiplier == kTimeoutMax && t.readConstant != 0 &&
        t.readConstant != kTimeoutMax) {
        firstByteEnds_ = true;
        total_ = start + std::chrono::milliseconds(t.readConstant);
        return;
    }
    total_ = totalLimit(t.readMultiplier, t.readConstant, n, start);
    interval_ = std::chrono::milliseconds(t.readInterval);
}

void ReadDeadline::bytesArrived(Clock::time_point when) {
    arrived_ = true;
    lastByte_ = when;
}

std::optional<ReadDeadline::Clock::time_point> ReadDeadline::expiry() const {
    std::optional<Clock::time_point> end = total_;
    if (interval_.count() != 0 && lastByte_) {
        const auto gapEnd = *lastByte_ + interval_;
        if (!end || gapEnd < *end) end = gapEnd;
    }
    return end;
}

bool ReadDeadline::expired(Clock::time_point now) const {
    if (atOnce_) return true;
    if (firstByteEnds_ && arrived_) return true;
    const auto end = expiry();
    return end && now >= *end;
}

int ReadDeadline::waitMs(Clock::time_point now) const {
    if (expired(now)) return 0;
    const auto end = expiry();
    if (!end) return -1;
    return msUntil(now, *end);
}

std::chrono::nanoseconds wireTime(const LineSettings &line, size_t n) {
    if (line.baudRate == 0) return std::chrono::nanoseconds(0);
    // In half bits, so that one and a half stop bits stay exact.
    const uint64_t stopHalfBits = line.stopBits == StopBits::Two          ? 4
                                  : line.stopBits == StopBits::OneAndHalf ? 3
                                                                          : 2;
    const uint64_t halfBits =
        2 * (1 + uint64_t{line.byteSize} + (line.parity == Parity::None ? 0 : 1)) + stopHalfBits;
    // No transfer is near 2^30 bytes; the cap keeps the product in 64 bits.
    const uint64_t chars = std::min<uint64_t>(n, uint64_t{1} << 30);
    const uint64_t ns = halfBits * chars * 500'000'000ull / line.baudRate;
    return std::chrono::nanoseconds(static_cast<int64_t>(ns));
}

WriteDeadline::WriteDeadline(const Timeouts &t, size_t n, Clock::time_point start)
    : total_(totalLimit(t.writeMultiplier, t.writeConstant, n, start)) {}

int WriteDeadline::waitMs(Clock::time_point now) const {
    if (!total_) return -1;
    return msUntil(now, *total_);
}

}  // namespace kvr7x
