// The exchanges of the session: every command the console sent and every
// Reset, with what came back, in order, the newest last.  Bounded: the
// oldest exchange is dropped first once the history holds its capacity.
//
// Each exchange carries a sequence number, counting from 0 for the first
// one appended and going on across drops and clears, so that a viewer can
// tell what changed since it last looked: the exchanges it shows from
// firstSequence() on are still there, those from endSequence() on are new.
#ifndef KVR_SESSION_EXCHANGE_HISTORY_H
#define KVR_SESSION_EXCHANGE_HISTORY_H

#include "session/reader_link.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace kvr::session {

struct Exchange {
    enum class Kind { Command, Reset };
    Kind kind = Kind::Command;
    int64_t startedMs = 0;   // wall time the exchange began, ms since 1970 (UTC)
    int64_t durationMs = 0;  // how long the driver call took
    CommandHeader header;    // the header sent (commands only)
    std::string sent;        // the data bytes that went out with it
    int32_t result = 0;      // the driver's result: STAT, or a negative error
    uint8_t sw1 = 0, sw2 = 0;
    std::string received;  // the reply bytes (LEN of them)
    std::string status;    // the status bar's text for it (UTF-8)
    // What the status word means (statusWordMeaning), or for a driver error
    // what the error means (driverErrorMeaning); UTF-8, may be empty.
    std::string meaning;
    // What the reply's data decode to (ReplyDecoding::summary): the ATR
    // after an activation, BER-TLV objects; UTF-8, empty when they do not.
    std::string decoding;
    // A script line's verdict: "card.kvs:4: cumple", or the line and what
    // differed ("card.kvs:4: expected SW 9000, got 6A82"); empty for an
    // exchange the operator made.
    std::string verdict;

    bool answered() const { return result >= 0; }
    bool operator==(const Exchange &) const = default;
};

// Where exchanges get their times; tests pass fixed ones.
struct ExchangeClock {
    std::function<int64_t()> wallMs;  // ms since 1970 (UTC)
    std::function<std::chrono::steady_clock::time_point()> steady;
    static ExchangeClock system();
};

class ExchangeHistory {
public:
    static constexpr std::size_t kCapacity = 10000;

    explicit ExchangeHistory(std::size_t capacity = kCapacity) : capacity_(capacity) {}

    // Adds the exchange as the newest, dropping the oldest when full, then
    // tells the listener.
    void append(Exchange exchange);
    // Gives the newest exchange its verdict, then tells the listener; none
    // when the history is empty.
    void setNewestVerdict(std::string verdict);
    // Forgets every exchange; sequence numbers go on counting.
    void clear();

    std::size_t size() const { return exchanges_.size(); }
    bool empty() const { return exchanges_.empty(); }
    std::size_t capacity() const { return capacity_; }
    // The i-th exchange kept, 0 the oldest.
    const Exchange &at(std::size_t i) const { return exchanges_[i]; }

    uint64_t firstSequence() const { return end_ - exchanges_.size(); }
    uint64_t endSequence() const { return end_; }
    // The exchange with that sequence number; null when dropped or not yet
    // appended.
    const Exchange *bySequence(uint64_t sequence) const;

    // Called after every change (append, drop, clear); one listener, the
    // window that shows the history while it is open.  Empty: none.
    void setListener(std::function<void()> listener) { listener_ = std::move(listener); }

private:
    std::size_t capacity_;
    std::deque<Exchange> exchanges_;
    uint64_t end_ = 0;
    std::function<void()> listener_;
};

}  // namespace kvr::session

#endif
