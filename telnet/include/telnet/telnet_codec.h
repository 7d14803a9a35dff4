// Telnet framing as used by network serial ports (RFC 854 with the COM-PORT
// option of RFC 2217), for both ends of the connection: a pure byte-stream
// parser that takes data bytes and telnet commands apart in stream order,
// and the encoders for what either side sends.
#ifndef KVR_TELNET_TELNET_CODEC_H
#define KVR_TELNET_TELNET_CODEC_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvr7x::telnet {

// Telnet command bytes.
inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;

// Options a network serial port uses.
inline constexpr uint8_t kOptBinary = 0;
inline constexpr uint8_t kOptSuppressGoAhead = 3;
inline constexpr uint8_t kOptComPort = 44;

// COM-PORT commands, client to server; the server answers with the same
// code plus kServerOffset.
enum ComPortCommand : uint8_t {
    kSignature = 0,
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
    kFlowControlSuspend = 8,
    kFlowControlResume = 9,
    kSetLineStateMask = 10,
    kSetModemStateMask = 11,
    kPurgeData = 12,
};
inline constexpr uint8_t kServerOffset = 100;

// SET-CONTROL values.  The "ask" values request the current setting.
// Outbound flow control holds back what the server sends to the line,
// inbound flow control what the line sends to the server.
inline constexpr uint8_t kControlAskFlow = 0;
inline constexpr uint8_t kControlNoFlow = 1;
inline constexpr uint8_t kControlXonXoff = 2;
inline constexpr uint8_t kControlHardwareFlow = 3;
inline constexpr uint8_t kControlAskBreak = 4;
inline constexpr uint8_t kControlBreakOn = 5;
inline constexpr uint8_t kControlBreakOff = 6;
inline constexpr uint8_t kControlAskDtr = 7;
inline constexpr uint8_t kControlDtrOn = 8;
inline constexpr uint8_t kControlDtrOff = 9;
inline constexpr uint8_t kControlAskRts = 10;
inline constexpr uint8_t kControlRtsOn = 11;
inline constexpr uint8_t kControlRtsOff = 12;
inline constexpr uint8_t kControlAskInboundFlow = 13;
inline constexpr uint8_t kControlInboundNoFlow = 14;
inline constexpr uint8_t kControlInboundXonXoff = 15;
inline constexpr uint8_t kControlInboundHardwareFlow = 16;
inline constexpr uint8_t kControlDcdFlow = 17;
inline constexpr uint8_t kControlInboundDtrFlow = 18;
inline constexpr uint8_t kControlDsrFlow = 19;

// Line-state bits of NOTIFY-LINESTATE.
inline constexpr uint8_t kLsTransmitShiftEmpty = 0x40;
inline constexpr uint8_t kLsTransmitHoldingEmpty = 0x20;

// PURGE-DATA values.
inline constexpr uint8_t kPurgeReceive = 1;   // the server's data from the line
inline constexpr uint8_t kPurgeTransmit = 2;  // the server's data for the line
inline constexpr uint8_t kPurgeBoth = 3;

// SET-PARITY and SET-STOPSIZE values.
inline constexpr uint8_t kParityNone = 1;
inline constexpr uint8_t kParityOdd = 2;
inline constexpr uint8_t kParityEven = 3;
inline constexpr uint8_t kParityMark = 4;
inline constexpr uint8_t kParitySpace = 5;
inline constexpr uint8_t kStopOne = 1;
inline constexpr uint8_t kStopTwo = 2;
inline constexpr uint8_t kStopOneAndHalf = 3;

// Modem-state bits of NOTIFY-MODEMSTATE (the upper four match the modem
// status word of the port layer; the lower four say which lines changed
// since the last report).
inline constexpr uint8_t kMsCarrier = 0x80;
inline constexpr uint8_t kMsRing = 0x40;
inline constexpr uint8_t kMsDsr = 0x20;
inline constexpr uint8_t kMsCts = 0x10;
inline constexpr uint8_t kMsDeltaCarrier = 0x08;
inline constexpr uint8_t kMsTrailingRing = 0x04;
inline constexpr uint8_t kMsDeltaDsr = 0x02;
inline constexpr uint8_t kMsDeltaCts = 0x01;

// One telnet command taken out of the stream.
struct TelnetEvent {
    enum class Kind : uint8_t {
        Negotiation,     // verb WILL/WONT/DO/DONT, option
        Subnegotiation,  // option, payload (IAC IAC already undone)
        Command,         // any other two-byte command: verb
    };
    Kind kind = Kind::Command;
    uint8_t verb = 0;
    uint8_t option = 0;
    std::vector<uint8_t> payload;
};

// Takes what a TelnetParser finds, in the order it stands in the stream.
class TelnetSink {
public:
    // A run of data bytes (IAC IAC already undone).
    virtual void onData(const uint8_t *bytes, size_t n) = 0;
    // A telnet command; `event` is valid during the call only.
    virtual void onCommand(const TelnetEvent &event) = 0;

protected:
    ~TelnetSink() = default;
};

// Splits a received byte stream into data and telnet commands.  It keeps its
// state between calls, so a command may be split across any number of
// chunks.  Malformed input never stops it: an over-long subnegotiation is
// dropped up to its end, an IAC followed by an unexpected byte inside a
// subnegotiation ends that subnegotiation unreported and is then taken as a
// command; each such case is counted.
class TelnetParser {
public:
    static constexpr size_t kMaxPayload = 64;

    // Hands data runs and commands to `sink` in stream order, so a command
    // between two data bytes is seen between them.
    void feed(const uint8_t *bytes, size_t n, TelnetSink &sink);

    // Appends the data bytes to `data` and the commands to `events`, for a
    // reader to whom their relative order does not matter.
    void feed(const uint8_t *bytes, size_t n, std::vector<uint8_t> &data,
              std::vector<TelnetEvent> &events);

    size_t malformedCount() const { return malformed_; }

private:
    enum class State : uint8_t { Data, Iac, Option, SbOption, SbData, SbIac };
    void command(TelnetSink &sink, TelnetEvent::Kind kind, uint8_t verb, uint8_t option);
    void keepSbByte(uint8_t b);
    // The state machine's steps: a run of data bytes from bytes[i] (returns
    // the index of the IAC that ends it, or n), the byte after IAC, the option byte
    // after SB, and the byte after IAC inside a subnegotiation (false: read
    // it again as the byte after an IAC).
    size_t dataRun(const uint8_t *bytes, size_t i, size_t n, TelnetSink &sink);
    void afterIac(uint8_t b, TelnetSink &sink);
    void subnegotiationOption(uint8_t b);
    bool afterSbIac(uint8_t b, TelnetSink &sink);

    State state_ = State::Data;
    uint8_t verb_ = 0;
    bool sbOverflow_ = false;
    TelnetEvent sb_;
    size_t malformed_ = 0;
};

// Appends `n` data bytes to `out`, doubling every 0xFF.
void appendEscaped(const uint8_t *bytes, size_t n, std::vector<uint8_t> &out);

// Appends IAC verb option.
void appendNegotiation(uint8_t verb, uint8_t option, std::vector<uint8_t> &out);

// Appends IAC SB COM-PORT-OPTION command payload IAC SE, payload escaped.
void appendComPort(uint8_t command, const uint8_t *payload, size_t n, std::vector<uint8_t> &out);
void appendComPort(uint8_t command, uint8_t value, std::vector<uint8_t> &out);

}  // namespace kvr7x::telnet

#endif
