#include "rfc2217/telnet_codec.h"

#include <cstring>

namespace kvr7x::rfc2217 {

void TelnetParser::feed(const uint8_t *bytes, size_t n, std::vector<uint8_t> &data,
                        std::vector<TelnetEvent> &events) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = bytes[i];
        switch (state_) {
        case State::Data:
            if (b == kIac)
                state_ = State::Iac;
            else
                data.push_back(b);
            break;
        case State::Iac:
            if (b == kIac) {
                data.push_back(kIac);
                state_ = State::Data;
            } else if (b >= kWill && b <= kDont) {
                verb_ = b;
                state_ = State::Option;
            } else if (b == kSb) {
                state_ = State::SbOption;
            } else {
                // NOP, GA, DM, SE outside a subnegotiation and anything else:
                // a command without argument.
                if (b == kSe || b < kSe) ++malformed_;
                TelnetEvent ev;
                ev.kind = TelnetEvent::Kind::Command;
                ev.verb = b;
                events.push_back(std::move(ev));
                state_ = State::Data;
            }
            break;
        case State::Option: {
            TelnetEvent ev;
            ev.kind = TelnetEvent::Kind::Negotiation;
            ev.verb = verb_;
            ev.option = b;
            events.push_back(std::move(ev));
            state_ = State::Data;
            break;
        }
        case State::SbOption:
            sb_ = TelnetEvent{};
            sb_.kind = TelnetEvent::Kind::Subnegotiation;
            sb_.option = b;
            sbOverflow_ = false;
            // IAC right after SB: no option byte at all.
            if (b == kIac) {
                ++malformed_;
                state_ = State::Iac;
            } else {
                state_ = State::SbData;
            }
            break;
        case State::SbData:
            if (b == kIac) {
                state_ = State::SbIac;
            } else if (sb_.payload.size() < kMaxPayload) {
                sb_.payload.push_back(b);
            } else {
                sbOverflow_ = true;
            }
            break;
        case State::SbIac:
            if (b == kIac) {
                if (sb_.payload.size() < kMaxPayload)
                    sb_.payload.push_back(kIac);
                else
                    sbOverflow_ = true;
                state_ = State::SbData;
            } else if (b == kSe) {
                if (sbOverflow_)
                    ++malformed_;
                else
                    events.push_back(std::move(sb_));
                sb_ = TelnetEvent{};
                state_ = State::Data;
            } else {
                // Unterminated subnegotiation: drop it and read this byte as
                // the command that follows an IAC.
                ++malformed_;
                sb_ = TelnetEvent{};
                state_ = State::Iac;
                --i;
            }
            break;
        }
    }
}

void appendEscaped(const uint8_t *bytes, size_t n, std::vector<uint8_t> &out) {
    const uint8_t *end = bytes + n;
    while (bytes < end) {
        const auto *iac = static_cast<const uint8_t *>(std::memchr(bytes, kIac, static_cast<size_t>(end - bytes)));
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

}  // namespace kvr7x::rfc2217
