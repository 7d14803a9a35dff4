// The access server's side of the telnet COM-PORT option (RFC 2217): takes
// the client's byte stream apart in order, answers option negotiation,
// answers every COM-PORT request as the RFC says (a setting with the value
// now in force, a query with the current value, a value it cannot take with
// the value it keeps), and reports data bytes and line changes to a
// listener.  No sockets.
#ifndef KVR7X_EMU_COM_PORT_SERVER_H
#define KVR7X_EMU_COM_PORT_SERVER_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "telnet/telnet_codec.h"
#include "telnet/telnet_options.h"

namespace kvr7x::emu {

class ComPortListener {
public:
    virtual ~ComPortListener() = default;
    virtual void onData(uint8_t byte) = 0;
    virtual void onRts(bool on) = 0;
    virtual void onDtr(bool on) = 0;
    // PURGE-DATA: 1 the server's data from the line, 2 towards it, 3 both.
    virtual void onPurge(uint8_t which) = 0;
    // The client is owed a NOTIFY-MODEMSTATE with the current state now: the
    // COM-PORT option was just agreed, the modem-state mask was set, or the
    // client asked (a NOTIFY-MODEMSTATE sent to the server is a poll).
    virtual void onModemStateOwed() = 0;
    // FLOWCONTROL-SUSPEND (true) and FLOWCONTROL-RESUME (false): the client
    // asks the server to stop, or start again, sending it data.
    virtual void onFlowSuspend(bool suspended) = 0;
    // Anything else worth a log line ("SET-BAUDRATE 9600").
    virtual void onControl(const std::string &text) = 0;
};

class ComPortServer {
public:
    // Takes bytes from the client.  Data and commands reach the listener in
    // the order they were sent.  Telnet answers and acknowledgements are
    // appended to `reply`.
    void receive(const uint8_t *bytes, size_t n, ComPortListener &listener, std::vector<uint8_t> &reply);

    // Appends a NOTIFY-MODEMSTATE with `state` as the client's mask lets it
    // see.
    void appendModemState(uint8_t state, std::vector<uint8_t> &out) const;

    // Line settings as the client last set them.
    uint32_t baudRate() const { return baud_; }
    uint8_t parity() const { return parity_; }
    uint8_t inboundFlowControl() const { return inboundFlow_; }
    bool dtr() const { return dtr_; }
    bool rts() const { return rts_; }
    bool breakOn() const { return break_; }
    uint8_t modemStateMask() const { return modemMask_; }
    bool comPortAgreed() const { return comPort_; }
    size_t malformedCount() const { return parser_.malformedCount() + malformed_; }

private:
    class Dispatch;
    void negotiation(uint8_t verb, uint8_t option, ComPortListener &listener, std::vector<uint8_t> &reply);
    void subnegotiation(uint8_t option, const std::vector<uint8_t> &payload, ComPortListener &listener,
                        std::vector<uint8_t> &reply);
    // The COM-PORT commands (false for one malformed or unknown), in
    // groups: the reply-carrying ones, the masks, purge and flow control,
    // the baud rate and the line's data size, parity and stop bits.
    [[nodiscard]] bool comPortCommand(uint8_t command, const std::vector<uint8_t> &args, ComPortListener &listener,
                                      std::vector<uint8_t> &reply);
    [[nodiscard]] bool maskOrFlowCommand(uint8_t command, const std::vector<uint8_t> &args, ComPortListener &listener,
                                         std::vector<uint8_t> &reply);
    [[nodiscard]] bool setBaudRate(const std::vector<uint8_t> &args, ComPortListener &listener,
                                   std::vector<uint8_t> &reply);
    [[nodiscard]] bool setLineSetting(uint8_t command, std::optional<uint8_t> value, ComPortListener &listener,
                                      std::vector<uint8_t> &reply);
    // SET-CONTROL: the value to answer, or none for a value the RFC does
    // not define.
    [[nodiscard]] std::optional<uint8_t> control(uint8_t value, ComPortListener &listener);

    telnet::TelnetParser parser_;
    // The server uses binary transfer and suppressed go-ahead itself and lets
    // the client use those and the COM-PORT option.
    telnet::TelnetOptions options_{{telnet::kOptBinary, telnet::kOptSuppressGoAhead},
                                   {telnet::kOptBinary, telnet::kOptSuppressGoAhead, telnet::kOptComPort}};
    bool comPort_ = false;
    uint32_t baud_ = 9600;
    uint8_t dataSize_ = 8;
    uint8_t parity_ = telnet::kParityNone;
    uint8_t stopSize_ = telnet::kStopOne;
    uint8_t flow_ = telnet::kControlNoFlow;
    uint8_t inboundFlow_ = telnet::kControlInboundNoFlow;
    bool dtr_ = false;
    bool rts_ = false;
    bool break_ = false;
    // The RFC's initial masks: every modem line, no line-state condition.
    uint8_t modemMask_ = 0xFF;
    uint8_t lineMask_ = 0x00;
    size_t malformed_ = 0;
};

}  // namespace kvr7x::emu

#endif
