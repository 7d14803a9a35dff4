#include "com_port_server.h"

#include <cassert>
#include <cstdio>

namespace kvr7x::emu {

using namespace telnet;

namespace {

void comPort(uint8_t command, const std::vector<uint8_t> &payload, std::vector<uint8_t> &out) {
    appendComPort(command, payload.data(), payload.size(), out);
}

std::string hexByte(uint8_t b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", b);
    return buf;
}

}  // namespace

// Passes what the parser finds on to the server and its listener as it
// comes, so that a line change between two data bytes acts between them.
class ComPortServer::Dispatch final : public TelnetSink {
public:
    Dispatch(ComPortServer &server, ComPortListener &listener, std::vector<uint8_t> &reply)
        : server_(server), listener_(listener), reply_(reply) {}

    void onData(const uint8_t *bytes, size_t n) override {
        for (size_t i = 0; i < n; ++i) listener_.onData(bytes[i]);
    }

    void onCommand(const TelnetEvent &event) override {
        switch (event.kind) {
        case TelnetEvent::Kind::Negotiation: server_.negotiation(event.verb, event.option, listener_, reply_); break;
        case TelnetEvent::Kind::Subnegotiation:
            server_.subnegotiation(event.option, event.payload, listener_, reply_);
            break;
        case TelnetEvent::Kind::Command: break;  // NOP, go-ahead and the like carry nothing
        }
    }

private:
    ComPortServer &server_;
    ComPortListener &listener_;
    std::vector<uint8_t> &reply_;
};

void ComPortServer::appendModemState(uint8_t state, std::vector<uint8_t> &out) const {
    appendComPort(kServerOffset + kNotifyModemState, static_cast<uint8_t>(state & modemMask_), out);
}

void ComPortServer::receive(const uint8_t *bytes, size_t n, ComPortListener &listener, std::vector<uint8_t> &reply) {
    Dispatch dispatch(*this, listener, reply);
    parser_.feed(bytes, n, dispatch);
}

void ComPortServer::negotiation(uint8_t verb, uint8_t option, ComPortListener &listener, std::vector<uint8_t> &reply) {
    const bool wasAgreed = comPort_;
    if (option == kOptComPort && (verb == kWill || verb == kWont)) comPort_ = verb == kWill;
    options_.answer(verb, option, reply);
    // Once the option is agreed the client learns how the lines stand, as
    // every access server does: it may never ask.
    if (comPort_ && !wasAgreed) listener.onModemStateOwed();
}

std::optional<uint8_t> ComPortServer::control(uint8_t v, ComPortListener &listener) {
    switch (v) {
    case kControlAskFlow: return flow_;
    case kControlNoFlow:
    case kControlXonXoff:
    case kControlHardwareFlow:
    case kControlDcdFlow:
    case kControlDsrFlow:
        flow_ = v;
        listener.onControl("SET-CONTROL flow " + std::to_string(v));
        return v;
    case kControlAskBreak: return break_ ? kControlBreakOn : kControlBreakOff;
    case kControlBreakOn:
    case kControlBreakOff:
        break_ = v == kControlBreakOn;
        listener.onControl(break_ ? "BREAK on" : "BREAK off");
        return v;
    case kControlAskDtr: return dtr_ ? kControlDtrOn : kControlDtrOff;
    case kControlDtrOn:
    case kControlDtrOff:
        dtr_ = v == kControlDtrOn;
        listener.onDtr(dtr_);
        return v;
    case kControlAskRts: return rts_ ? kControlRtsOn : kControlRtsOff;
    case kControlRtsOn:
    case kControlRtsOff:
        rts_ = v == kControlRtsOn;
        listener.onRts(rts_);
        return v;
    case kControlAskInboundFlow: return inboundFlow_;
    case kControlInboundNoFlow:
    case kControlInboundXonXoff:
    case kControlInboundHardwareFlow:
    case kControlInboundDtrFlow:
        inboundFlow_ = v;
        listener.onControl("SET-CONTROL inbound flow " + std::to_string(v));
        return v;
    default: return std::nullopt;
    }
}

namespace {

// The one byte of a command that takes one.
std::optional<uint8_t> oneByte(const std::vector<uint8_t> &args) {
    if (args.size() != 1) return std::nullopt;
    return args[0];
}

}  // namespace

void ComPortServer::subnegotiation(uint8_t option, const std::vector<uint8_t> &payload, ComPortListener &listener,
                                   std::vector<uint8_t> &reply) {
    if (option != kOptComPort || payload.empty()) {
        ++malformed_;
        return;
    }
    const uint8_t command = payload[0];
    const std::vector<uint8_t> args(payload.begin() + 1, payload.end());
    if (comPortCommand(command, args, listener, reply)) return;
    ++malformed_;
    listener.onControl("unknown COM-PORT command " + std::to_string(command) + " (" + std::to_string(args.size()) +
                       " bytes)");
}

bool ComPortServer::comPortCommand(uint8_t command, const std::vector<uint8_t> &args, ComPortListener &listener,
                                   std::vector<uint8_t> &reply) {
    const auto ack = static_cast<uint8_t>(kServerOffset + command);
    switch (command) {
    case kSignature:
        if (args.empty()) {
            const std::string sig = "kvr7x-emu";
            comPort(ack, std::vector<uint8_t>(sig.begin(), sig.end()), reply);
        } else {
            listener.onControl("SIGNATURE " + std::string(args.begin(), args.end()));
        }
        return true;
    case kSetBaudRate: return setBaudRate(args, listener, reply);
    case kSetDataSize:
    case kSetParity:
    case kSetStopSize: return setLineSetting(command, oneByte(args), listener, reply);
    case kSetControl: {
        const std::optional<uint8_t> v = oneByte(args);
        const std::optional<uint8_t> now = v ? control(*v, listener) : std::nullopt;
        if (!now) return false;
        appendComPort(ack, *now, reply);
        return true;
    }
    case kNotifyLineState:
        // A poll: the line to the reader is idle whenever the reader can
        // take a byte, which this one always can.
        if (!args.empty() && !oneByte(args)) return false;
        appendComPort(ack, static_cast<uint8_t>((kLsTransmitShiftEmpty | kLsTransmitHoldingEmpty) & lineMask_), reply);
        return true;
    case kNotifyModemState:
        if (!args.empty() && !oneByte(args)) return false;
        listener.onModemStateOwed();
        return true;
    default: return maskOrFlowCommand(command, args, listener, reply);
    }
}

bool ComPortServer::maskOrFlowCommand(uint8_t command, const std::vector<uint8_t> &args, ComPortListener &listener,
                                      std::vector<uint8_t> &reply) {
    const auto ack = static_cast<uint8_t>(kServerOffset + command);
    const std::optional<uint8_t> v = oneByte(args);
    switch (command) {
    case kSetLineStateMask:
        if (!v) return false;
        lineMask_ = args[0];
        comPort(ack, args, reply);
        return true;
    case kSetModemStateMask:
        if (!v) return false;
        modemMask_ = args[0];
        listener.onControl("SET-MODEMSTATE-MASK " + hexByte(modemMask_));
        comPort(ack, args, reply);
        listener.onModemStateOwed();
        return true;
    case kPurgeData:
        if (!v || *v < kPurgeReceive || *v > kPurgeBoth) return false;
        comPort(ack, args, reply);
        listener.onPurge(args[0]);
        return true;
    case kFlowControlSuspend:
    case kFlowControlResume:
        // No answer: the client's own flow control.
        listener.onFlowSuspend(command == kFlowControlSuspend);
        return true;
    default: return false;
    }
}

bool ComPortServer::setBaudRate(const std::vector<uint8_t> &args, ComPortListener &listener,
                                std::vector<uint8_t> &reply) {
    if (args.size() != 4) return false;
    const uint32_t v = uint32_t{args[0]} << 24 | uint32_t{args[1]} << 16 | uint32_t{args[2]} << 8 | args[3];
    if (v != 0) {  // 0 asks for the rate in force
        baud_ = v;
        listener.onControl("SET-BAUDRATE " + std::to_string(v));
    }
    const std::vector<uint8_t> now = {static_cast<uint8_t>(baud_ >> 24), static_cast<uint8_t>(baud_ >> 16),
                                      static_cast<uint8_t>(baud_ >> 8), static_cast<uint8_t>(baud_)};
    comPort(static_cast<uint8_t>(kServerOffset + kSetBaudRate), now, reply);
    return true;
}

bool ComPortServer::setLineSetting(uint8_t command, std::optional<uint8_t> value, ComPortListener &listener,
                                   std::vector<uint8_t> &reply) {
    assert(command >= kSetDataSize && command <= kSetStopSize);
    if (!value) return false;
    const int v = *value;
    struct Setting {
        const char *name;
        uint8_t &field;
        int highest;
    };
    const Setting settings[] = {{"SET-DATASIZE ", dataSize_, 8},
                                {"SET-PARITY ", parity_, kParitySpace},
                                {"SET-STOPSIZE ", stopSize_, kStopOneAndHalf}};
    const Setting &s = settings[command - kSetDataSize];
    const int lowest = command == kSetDataSize ? 5 : 1;
    // 0 asks; a value the line cannot take is answered with the one kept.
    if (v >= lowest && v <= s.highest) {
        s.field = static_cast<uint8_t>(v);
        listener.onControl(s.name + std::to_string(v));
    }
    appendComPort(static_cast<uint8_t>(kServerOffset + command), s.field, reply);
    return true;
}

}  // namespace kvr7x::emu
