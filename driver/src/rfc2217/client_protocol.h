// The client's side of a network serial port session without the socket:
// takes what the server sends, hands back the data bytes, answers option
// negotiation, and follows the server's modem-state notifications.  Pure and
// single-threaded; the port feeds it from whichever thread reads the socket.
#ifndef KVR7X_RFC2217_CLIENT_PROTOCOL_H
#define KVR7X_RFC2217_CLIENT_PROTOCOL_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "telnet/telnet_codec.h"
#include "telnet/telnet_options.h"

namespace kvr7x::rfc2217 {

class ClientProtocol {
public:
    // What a client says first: it offers the COM-PORT option and binary
    // transfer both ways, and asks the server to suppress go-ahead.
    void appendGreeting(std::vector<uint8_t> &out);

    // Takes bytes received from the server.  Data bytes are appended to
    // `data`; answers owed to the server (option negotiation) to `reply`.
    void receive(const uint8_t *bytes, size_t n, std::vector<uint8_t> &data,
                 std::vector<uint8_t> &reply);

    // Latest modem state the server reported; nullopt before the first.
    std::optional<uint8_t> modemState() const { return modemState_; }
    // Number of DSR changes reported so far (the first report is the
    // starting state, not a change).
    uint64_t dsrChanges() const { return dsrChanges_; }

    // The server has answered the COM-PORT offer (accepted or refused).
    bool comPortAnswered() const { return comPortAnswered_; }
    bool comPortAccepted() const { return comPortAccepted_; }

    size_t malformedCount() const { return parser_.malformedCount() + badSubnegotiations_; }

private:
    void onNegotiation(uint8_t verb, uint8_t option, std::vector<uint8_t> &reply);
    void onComPort(const std::vector<uint8_t> &payload);

    telnet::TelnetParser parser_;
    std::vector<telnet::TelnetEvent> events_;
    // The client uses the COM-PORT option, binary transfer and suppressed
    // go-ahead, and lets the server use binary transfer and suppressed
    // go-ahead; some servers also announce the COM-PORT option themselves.
    telnet::TelnetOptions options_{
        {telnet::kOptComPort, telnet::kOptBinary, telnet::kOptSuppressGoAhead},
        {telnet::kOptBinary, telnet::kOptSuppressGoAhead, telnet::kOptComPort}};
    std::optional<uint8_t> modemState_;
    uint64_t dsrChanges_ = 0;
    bool comPortAnswered_ = false;
    bool comPortAccepted_ = false;
    size_t badSubnegotiations_ = 0;
};

}  // namespace kvr7x::rfc2217

#endif
