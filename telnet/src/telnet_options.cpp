#include "telnet/telnet_options.h"

#include "telnet/telnet_codec.h"

namespace kvr7x::telnet {

TelnetOptions::TelnetOptions(std::initializer_list<uint8_t> useHere,
                             std::initializer_list<uint8_t> letThere) {
    for (uint8_t o : useHere) options_[o].here.allowed = true;
    for (uint8_t o : letThere) options_[o].there.allowed = true;
}

void TelnetOptions::offer(uint8_t option, std::vector<uint8_t> &out) {
    appendNegotiation(kWill, option, out);
    options_[option].here.requested = true;
}

void TelnetOptions::ask(uint8_t option, std::vector<uint8_t> &out) {
    appendNegotiation(kDo, option, out);
    options_[option].there.requested = true;
}

void TelnetOptions::enable(Option &o, Side &side, uint8_t option, uint8_t yes, uint8_t no,
                           std::vector<uint8_t> &reply) {
    if (side.allowed) {
        if (!side.on) {
            side.on = true;
            // Agreement to our own request needs no answer.
            if (!side.requested) appendNegotiation(yes, option, reply);
            side.requested = true;
        }
    } else if (!o.refused) {
        o.refused = true;
        appendNegotiation(no, option, reply);
    }
}

void TelnetOptions::disable(Side &side, uint8_t option, uint8_t no, std::vector<uint8_t> &reply) {
    if (side.on) {
        side.on = false;
        appendNegotiation(no, option, reply);
    }
    side.requested = false;
}

void TelnetOptions::answer(uint8_t verb, uint8_t option, std::vector<uint8_t> &reply) {
    Option &o = options_[option];
    switch (verb) {
    case kDo:  // the other end wants this end to use the option
        enable(o, o.here, option, kWill, kWont, reply);
        break;
    case kDont: disable(o.here, option, kWont, reply); break;
    case kWill:  // the other end offers to use the option
        enable(o, o.there, option, kDo, kDont, reply);
        break;
    case kWont: disable(o.there, option, kDont, reply); break;
    default: break;
    }
}

}  // namespace kvr7x::telnet
