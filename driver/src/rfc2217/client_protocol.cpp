#include "rfc2217/client_protocol.h"

namespace kvr7x::rfc2217 {

using namespace telnet;

void ClientProtocol::appendGreeting(std::vector<uint8_t> &out) {
    for (uint8_t opt : {kOptComPort, kOptBinary, kOptSuppressGoAhead}) options_.offer(opt, out);
    for (uint8_t opt : {kOptBinary, kOptSuppressGoAhead}) options_.ask(opt, out);
}

void ClientProtocol::receive(const uint8_t *bytes, size_t n, std::vector<uint8_t> &data,
                             std::vector<uint8_t> &reply) {
    events_.clear();
    parser_.feed(bytes, n, data, events_);
    for (const TelnetEvent &ev : events_) {
        switch (ev.kind) {
        case TelnetEvent::Kind::Negotiation: onNegotiation(ev.verb, ev.option, reply); break;
        case TelnetEvent::Kind::Subnegotiation:
            if (ev.option == kOptComPort)
                onComPort(ev.payload);
            else
                ++badSubnegotiations_;
            break;
        case TelnetEvent::Kind::Command: break;  // NOP, go-ahead and the like carry nothing for us
        }
    }
}

void ClientProtocol::onNegotiation(uint8_t verb, uint8_t option, std::vector<uint8_t> &reply) {
    if (option == kOptComPort && (verb == kDo || verb == kDont)) {
        comPortAnswered_ = true;
        comPortAccepted_ = verb == kDo;
    }
    options_.answer(verb, option, reply);
}

void ClientProtocol::onComPort(const std::vector<uint8_t> &payload) {
    if (payload.empty()) {
        ++badSubnegotiations_;
        return;
    }
    const uint8_t command = payload[0];
    if (command == kServerOffset + kNotifyModemState) {
        if (payload.size() != 2) {
            ++badSubnegotiations_;
            return;
        }
        const uint8_t state = payload[1];
        // The first report tells how the lines stand, it is no change.
        if (modemState_ && (((state ^ *modemState_) & kMsDsr) != 0 || (state & kMsDeltaDsr) != 0))
            ++dsrChanges_;
        modemState_ = state;
        return;
    }
    // Acknowledgements of our SET-* commands, line-state notifications and
    // the signature carry nothing the port needs: the port never waits for an
    // acknowledgement, since some servers send them late, wrongly or never.
    if (command < kServerOffset || command > kServerOffset + kPurgeData) ++badSubnegotiations_;
}

}  // namespace kvr7x::rfc2217
