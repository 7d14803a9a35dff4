// Read/write time-out rules shared by all port types.
//
// A serial transfer ends by the classic serial-port time-out rules (see
// Timeouts in serial_port.h).  These helpers hold only the arithmetic: the
// caller owns the clock and the waiting.  A port loop looks like this:
//
//     ReadDeadline dl(timeouts, n, Clock::now());
//     if (dl.returnAtOnce()) { take what is already buffered, up to n; done }
//     while (got < n) {
//         auto now = Clock::now();
//         if (dl.expired(now)) break;                    // short read, code 0
//         wait for input at most dl.waitMs(now) ms (-1: no limit);
//         for each chunk that arrived: got += k; dl.bytesArrived(Clock::now());
//     }
//
// The rules, all values in milliseconds:
//  - total limit of a read of n bytes: readMultiplier * n + readConstant from
//    the start of the read; none when both are 0;
//  - gap limit: once the first byte has arrived, the read ends when no
//    further byte comes within readInterval of the last one; none when
//    readInterval is 0;
//  - readInterval = 0xFFFFFFFF with multiplier and constant both 0: the read
//    returns at once with whatever is already buffered (returnAtOnce());
//  - readInterval and readMultiplier both 0xFFFFFFFF with a constant between
//    1 and 0xFFFFFFFE: the read returns as soon as any byte is there, waiting
//    at most readConstant for the first one (endsOnFirstByte());
//  - total limit of a write of n bytes: writeMultiplier * n + writeConstant;
//    none when both are 0.
// The products are computed in 64 bits, so no value can overflow.
#ifndef KVR7X_TRANSFER_DEADLINE_H
#define KVR7X_TRANSFER_DEADLINE_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "serial_port.h"

namespace kvr7x {

using DeadlineClock = std::chrono::steady_clock;

inline constexpr uint32_t kTimeoutMax = 0xFFFFFFFFu;

// Limits of one read of n bytes, begun at `start`.
class ReadDeadline {
public:
    using Clock = DeadlineClock;

    ReadDeadline(const Timeouts &t, size_t n, Clock::time_point start);

    // The read must not wait at all: hand back what is buffered.
    bool returnAtOnce() const { return atOnce_; }
    // The read ends as soon as at least one byte has arrived.
    bool endsOnFirstByte() const { return firstByteEnds_; }

    // Record that one or more bytes arrived at `when` (restarts the gap
    // timer).
    void bytesArrived(Clock::time_point when);

    // The moment the read ends unless all bytes are in by then; nullopt when
    // no limit applies (neither a total limit nor, yet, a gap limit).
    std::optional<Clock::time_point> expiry() const;

    // True when the read has run out of time at `now` (or must stop because
    // it ends on the first byte and one has arrived).
    bool expired(Clock::time_point now) const;

    // Milliseconds to wait for more input from `now`, rounded up, ready for
    // poll(): -1 for no limit, 0 when already expired.  Clamped to INT_MAX.
    int waitMs(Clock::time_point now) const;

private:
    std::optional<Clock::time_point> total_;
    std::chrono::milliseconds interval_{0};
    std::optional<Clock::time_point> lastByte_;
    bool atOnce_ = false;
    bool firstByteEnds_ = false;
    bool arrived_ = false;
};

// Limit of one write of n bytes, begun at `start`.
class WriteDeadline {
public:
    using Clock = DeadlineClock;

    WriteDeadline(const Timeouts &t, size_t n, Clock::time_point start);

    std::optional<Clock::time_point> expiry() const { return total_; }
    bool expired(Clock::time_point now) const { return total_ && now >= *total_; }
    // As ReadDeadline::waitMs.
    int waitMs(Clock::time_point now) const;

private:
    std::optional<Clock::time_point> total_;
};

// Milliseconds from `now` until `until`, rounded up, for poll(): 0 when past,
// clamped to INT_MAX.
int msUntil(DeadlineClock::time_point now, DeadlineClock::time_point until);

// Time n characters take on a line with these settings: a start bit, the
// data bits, a parity bit when there is parity, and the stop bits, each
// 1/baudRate seconds long.  Zero for a baud rate of 0.
std::chrono::nanoseconds wireTime(const LineSettings &line, size_t n);

}  // namespace kvr7x

#endif
