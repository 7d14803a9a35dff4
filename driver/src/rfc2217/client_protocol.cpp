#include "rfc2217/client_protocol.h"

namespace kvr7x::rfc2217 {

namespace {

bool weOffer(uint8_t option) {
    return option == kOptComPort || option == kOptBinary || option == kOptSuppressGoAhead;
}

bool weAccept(uint8_t option) {
    // The server may offer binary transfer and suppress go-ahead; some
    // servers also announce the COM-PORT option themselves.
    return option == kOptBinary || option == kOptSuppressGoAhead || option == kOptComPort;
}

}  // namespace

void ClientProtocol::appendGreeting(std::vector<uint8_t> &out) {
    for (uint8_t opt : {kOptComPort, kOptBinary, kOptSuppressGoAhead}) {
        appendNegotiation(kWill, opt, out);
        localAsked_[opt] = 1;
    }
    for (uint8_t opt : {kOptBinary, kOptSuppressGoAhead}) {
        appendNegotiation(kDo, opt, out);
        remoteAsked_[opt] = 1;
    }
}

void ClientProtocol::receive(const uint8_t *bytes, size_t n, std::vector<uint8_t> &data,
                             std::vector<uint8_t> &reply) {
    events_.clear();
    parser_.feed(bytes, n, data, events_);
    for (const TelnetEvent &ev : events_) {
        switch (ev.kind) {
        case TelnetEvent::Kind::Negotiation:
            onNegotiation(ev.verb, ev.option, reply);
            break;
        case TelnetEvent::Kind::Subnegotiation:
            if (ev.option == kOptComPort)
                onComPort(ev.payload);
            else
                ++badSubnegotiations_;
            break;
        case TelnetEvent::Kind::Command:
            break;  // NOP, go-ahead and the like carry nothing for us
        }
    }
}

void ClientProtocol::onNegotiation(uint8_t verb, uint8_t option, std::vector<uint8_t> &reply) {
    switch (verb) {
    case kDo:  // the server wants us to use the option
        if (option == kOptComPort) comPortAnswered_ = comPortAccepted_ = true;
        if (weOffer(option)) {
            if (!localOn_[option]) {
                localOn_[option] = 1;
                if (!localAsked_[option]) appendNegotiation(kWill, option, reply);
                localAsked_[option] = 1;
            }
        } else if (!refused_[option]) {
            refused_[option] = 1;
            appendNegotiation(kWont, option, reply);
        }
        break;
    case kDont:
        if (option == kOptComPort) {
            comPortAnswered_ = true;
            comPortAccepted_ = false;
        }
        if (localOn_[option]) {
            localOn_[option] = 0;
            appendNegotiation(kWont, option, reply);
        }
        localAsked_[option] = 0;
        break;
    case kWill:  // the server offers to use the option
        if (weAccept(option)) {
            if (!remoteOn_[option]) {
                remoteOn_[option] = 1;
                if (!remoteAsked_[option]) appendNegotiation(kDo, option, reply);
                remoteAsked_[option] = 1;
            }
        } else if (!refused_[option]) {
            refused_[option] = 1;
            appendNegotiation(kDont, option, reply);
        }
        break;
    case kWont:
        if (remoteOn_[option]) {
            remoteOn_[option] = 0;
            appendNegotiation(kDont, option, reply);
        }
        remoteAsked_[option] = 0;
        break;
    default:
        break;
    }
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
