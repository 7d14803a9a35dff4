#include "rfc2217/telnet_options.h"

#include "rfc2217/telnet_codec.h"

namespace kvr7x::rfc2217 {

TelnetOptions::TelnetOptions(std::initializer_list<uint8_t> useHere,
                             std::initializer_list<uint8_t> letThere) {
    for (uint8_t o : useHere) options_[o].mayUseHere = true;
    for (uint8_t o : letThere) options_[o].mayUseThere = true;
}

void TelnetOptions::offer(uint8_t option, std::vector<uint8_t> &out) {
    appendNegotiation(kWill, option, out);
    options_[option].offered = true;
}

void TelnetOptions::ask(uint8_t option, std::vector<uint8_t> &out) {
    appendNegotiation(kDo, option, out);
    options_[option].asked = true;
}

void TelnetOptions::answer(uint8_t verb, uint8_t option, std::vector<uint8_t> &reply) {
    Option &o = options_[option];
    switch (verb) {
    case kDo:  // the other end wants this end to use the option
        if (o.mayUseHere) {
            if (!o.onHere) {
                o.onHere = true;
                // Agreement to our own offer needs no answer.
                if (!o.offered) appendNegotiation(kWill, option, reply);
                o.offered = true;
            }
        } else if (!o.refused) {
            o.refused = true;
            appendNegotiation(kWont, option, reply);
        }
        break;
    case kDont:
        if (o.onHere) {
            o.onHere = false;
            appendNegotiation(kWont, option, reply);
        }
        o.offered = false;
        break;
    case kWill:  // the other end offers to use the option
        if (o.mayUseThere) {
            if (!o.onThere) {
                o.onThere = true;
                if (!o.asked) appendNegotiation(kDo, option, reply);
                o.asked = true;
            }
        } else if (!o.refused) {
            o.refused = true;
            appendNegotiation(kDont, option, reply);
        }
        break;
    case kWont:
        if (o.onThere) {
            o.onThere = false;
            appendNegotiation(kDont, option, reply);
        }
        o.asked = false;
        break;
    default:
        break;
    }
}

}  // namespace kvr7x::rfc2217
