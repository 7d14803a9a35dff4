#include "session/exchange_history.h"

#include <utility>

namespace kvr::session {

ExchangeClock ExchangeClock::system() {
    return ExchangeClock{[] {
                             using namespace std::chrono;
                             return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
                         },
                         [] { return std::chrono::steady_clock::now(); }};
}

void ExchangeHistory::append(Exchange exchange) {
    if (capacity_ == 0) return;
    while (exchanges_.size() >= capacity_) exchanges_.pop_front();
    exchanges_.push_back(std::move(exchange));
    ++end_;
    if (listener_) listener_();
}

void ExchangeHistory::setNewestVerdict(std::string verdict) {
    if (exchanges_.empty()) return;
    exchanges_.back().verdict = std::move(verdict);
    if (listener_) listener_();
}

void ExchangeHistory::clear() {
    exchanges_.clear();
    if (listener_) listener_();
}

const Exchange *ExchangeHistory::bySequence(uint64_t sequence) const {
    if (sequence < firstSequence() || sequence >= end_) return nullptr;
    return &exchanges_[static_cast<std::size_t>(sequence - firstSequence())];
}

}  // namespace kvr::session
