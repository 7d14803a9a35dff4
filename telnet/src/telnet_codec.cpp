#include "telnet/telnet_codec.h"

#include <cstring>

namespace kvr7x::telnet {

namespace {

// Collects data and commands apart.
class SplittingSink final : public TelnetSink {
public:
    SplittingSink(std::vector<uint8_t> &data, std::vector<TelnetEvent> &events)
        : data_(data), events_(events) {}
    void onData(const uint8_t *bytes, size_t n) override {
        data_.insert(data_.end(), bytes, bytes + n);
    }
    void onCommand(const TelnetEvent &event) override { events_.push_back(event); }

private:
    std::vector<uint8_t> &data_;
    std::vector<TelnetEvent> &events_;
};

}  // namespace

void TelnetParser::feed(const uint8_t *bytes, size_t n, std::vector<uint8_t> &data,
                        std::vector<TelnetEvent> &events) {
    SplittingSink sink(data, events);
    feed(bytes, n, sink);
}

void TelnetParser::command(TelnetSink &sink, TelnetEvent::Kind kind, uint8_t verb, uint8_t option) {
    TelnetEvent ev;
    ev.kind = kind;
    ev.verb = verb;
    ev.option = option;
    sink.onCommand(ev);
}

void TelnetParser::keepSbByte(uint8_t b) {
    if (sb_.payload.size() < kMaxPayload)
        sb_.payload.push_back(b);
    else
        sbOverflow_ = true;
}

void TelnetParser::feed(const uint8_t *bytes, size_t n, TelnetSink &sink) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = bytes[i];
        switch (state_) {
        case State::Data: i = dataRun(bytes, i, n, sink); break;
        case State::Iac: afterIac(b, sink); break;
        case State::Option:
            state_ = State::Data;
            command(sink, TelnetEvent::Kind::Negotiation, verb_, b);
            break;
        case State::SbOption: subnegotiationOption(b); break;
        case State::SbData:
            if (b == kIac)
                state_ = State::SbIac;
            else
                keepSbByte(b);
            break;
        case State::SbIac:
            // An unterminated subnegotiation reads its byte again as the
            // command that follows an IAC.
            if (!afterSbIac(b, sink)) --i;
            break;
        }
    }
}

size_t TelnetParser::dataRun(const uint8_t *bytes, size_t i, size_t n, TelnetSink &sink) {
    // The whole run up to the next IAC at once.
    const auto *iac = static_cast<const uint8_t *>(std::memchr(bytes + i, kIac, n - i));
    const size_t stop = iac ? static_cast<size_t>(iac - bytes) : n;
    if (stop > i) sink.onData(bytes + i, stop - i);
    if (iac) state_ = State::Iac;
    return stop;
}

void TelnetParser::afterIac(uint8_t b, TelnetSink &sink) {
    if (b == kIac) {
        state_ = State::Data;
        sink.onData(&kIac, 1);
    } else if (b >= kWill && b <= kDont) {
        verb_ = b;
        state_ = State::Option;
    } else if (b == kSb) {
        state_ = State::SbOption;
    } else {
        // NOP, GA, DM, SE outside a subnegotiation and anything else: a
        // command without argument.
        if (b <= kSe) ++malformed_;
        state_ = State::Data;
        command(sink, TelnetEvent::Kind::Command, b, 0);
    }
}

void TelnetParser::subnegotiationOption(uint8_t b) {
    sb_.kind = TelnetEvent::Kind::Subnegotiation;
    sb_.verb = 0;
    sb_.option = b;
    sb_.payload.clear();
    sbOverflow_ = false;
    // IAC right after SB: no option byte at all.
    if (b == kIac) {
        ++malformed_;
        state_ = State::Iac;
    } else {
        state_ = State::SbData;
    }
}

bool TelnetParser::afterSbIac(uint8_t b, TelnetSink &sink) {
    if (b == kIac) {
        keepSbByte(kIac);
        state_ = State::SbData;
        return true;
    }
    if (b == kSe) {
        state_ = State::Data;
        if (sbOverflow_)
            ++malformed_;
        else
            sink.onCommand(sb_);
        sb_.payload.clear();
        return true;
    }
    // Unterminated subnegotiation: drop it.
    ++malformed_;
    sb_.payload.clear();
    state_ = State::Iac;
    return false;
}

void appendEscaped(const uint8_t *bytes, size_t n, std::vector<uint8_t> &out) {
    const uint8_t *end = bytes + n;
    while (bytes < end) {
        const auto *iac = static_cast<const uint8_t *>(
            std::memchr(bytes, kIac, static_cast<size_t>(end - bytes)));
        const uint8_t *stop = iac ? iac + 1 : end;
        out.insert(out.end(), bytes, stop);
        if (iac) out.push_back(kIac);
        bytes = stop;
    }
}

void appendNegotiation(uint8_t verb, uint8_t option, std::vector<uint8_t> &out) {
    out.push_back(kIac);
    out.push_back(verb);
    out.push_back(option);
}

void appendComPort(uint8_t command, const uint8_t *payload, size_t n, std::vector<uint8_t> &out) {
    out.push_back(kIac);
    out.push_back(kSb);
    out.push_back(kOptComPort);
    out.push_back(command);
    appendEscaped(payload, n, out);
    out.push_back(kIac);
    out.push_back(kSe);
}

void appendComPort(uint8_t command, uint8_t value, std::vector<uint8_t> &out) {
    appendComPort(command, &value, 1, out);
}

}  // namespace kvr7x::telnet
