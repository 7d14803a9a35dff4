// Telnet option negotiation for one end of a connection: which options it
// uses itself and lets the other end use, what it has offered and asked for,
// and the answers it owes.  Every request is answered at most once, so two
// ends never loop.
#ifndef KVR_TELNET_TELNET_OPTIONS_H
#define KVR_TELNET_TELNET_OPTIONS_H

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace kvr7x::telnet {

class TelnetOptions {
public:
    // `useHere`: options this end agrees to use when asked (DO); `letThere`:
    // options it lets the other end use when offered (WILL).  Everything
    // else is refused, once per option.
    TelnetOptions(std::initializer_list<uint8_t> useHere, std::initializer_list<uint8_t> letThere);

    // Appends WILL `option`: this end offers to use it.
    void offer(uint8_t option, std::vector<uint8_t> &out);
    // Appends DO `option`: this end asks the other to use it.
    void ask(uint8_t option, std::vector<uint8_t> &out);

    // Takes WILL, WONT, DO or DONT `option` from the other end; the answer
    // owed, if any, is appended to `reply`.
    void answer(uint8_t verb, uint8_t option, std::vector<uint8_t> &reply);

private:
    // One direction of an option: this end using it, or the other end.
    struct Side {
        bool allowed = false;
        bool on = false;
        bool requested = false;  // our own WILL (here) or DO (there) stands
    };
    struct Option {
        Side here;
        Side there;
        bool refused = false;  // a WONT or DONT refusing it already went out
    };
    // The other end asks for `side` to be on; `yes` and `no` answer it.
    static void enable(Option &o, Side &side, uint8_t option, uint8_t yes, uint8_t no,
                       std::vector<uint8_t> &reply);
    // The other end turns `side` off; `no` confirms it.
    static void disable(Side &side, uint8_t option, uint8_t no, std::vector<uint8_t> &reply);

    std::array<Option, 256> options_{};
};

}  // namespace kvr7x::telnet

#endif
