#include "com_port_server.h"

#include <cstdio>

namespace kvr7x::emu {

namespace {

constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                  kSe = 240;
constexpr uint8_t kOptBinary = 0, kOptSga = 3, kOptComPort = 44;
constexpr uint8_t kServer = 100;

void negotiate(uint8_t verb, uint8_t option, std::vector<uint8_t> &out) {
    out.insert(out.end(), {kIac, verb, option});
}

void comPort(uint8_t command, const std::vector<uint8_t> &payload, std::vector<uint8_t> &out) {
    out.insert(out.end(), {kIac, kSb, kOptComPort, command});
    ComPortServer::appendData(payload.data(), payload.size(), out);
    out.insert(out.end(), {kIac, kSe});
}

std::string hexByte(uint8_t b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", b);
    return buf;
}

}  // namespace

void ComPortServer::appendData(const uint8_t *bytes, size_t n, std::vector<uint8_t> &out) {
    for (size_t i = 0; i < n; ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == kIac) out.push_back(kIac);
    }
}

void ComPortServer::appendModemState(uint8_t state, std::vector<uint8_t> &out) {
    comPort(kServer + 7, {state}, out);  // NOTIFY-MODEMSTATE
}

void ComPortServer::receive(const uint8_t *bytes, size_t n, ComPortListener &listener,
                            std::vector<uint8_t> &reply) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = bytes[i];
        switch (state_) {
        case State::Data:
            if (b == kIac)
                state_ = State::Iac;
            else
                listener.onData(b);
            break;
        case State::Iac:
            state_ = State::Data;
            if (b == kIac)
                listener.onData(kIac);
            else if (b >= kWill && b <= kDont) {
                verb_ = b;
                state_ = State::Option;
            } else if (b == kSb)
                state_ = State::SbOption;
            else if (b <= kSe)
                ++malformed_;  // other commands (NOP, GA, ...) carry nothing
            break;
        case State::Option:
            negotiation(verb_, b, reply);
            state_ = State::Data;
            break;
        case State::SbOption:
            sbOption_ = b;
            sb_.clear();
            sbOverflow_ = false;
            state_ = State::SbData;
            break;
        case State::SbData:
            if (b == kIac)
                state_ = State::SbIac;
            else if (sb_.size() < kMaxPayload)
                sb_.push_back(b);
            else
                sbOverflow_ = true;
            break;
        case State::SbIac:
            if (b == kIac) {
                if (sb_.size() < kMaxPayload)
                    sb_.push_back(kIac);
                else
                    sbOverflow_ = true;
                state_ = State::SbData;
            } else if (b == kSe) {
                if (sbOverflow_)
                    ++malformed_;
                else
                    subnegotiation(listener, reply);
                state_ = State::Data;
            } else {
                ++malformed_;  // unterminated: drop it, read b after an IAC
                state_ = State::Iac;
                --i;
            }
            break;
        }
    }
}

void ComPortServer::negotiation(uint8_t verb, uint8_t option, std::vector<uint8_t> &reply) {
    const bool supported = option == kOptBinary || option == kOptSga || option == kOptComPort;
    switch (verb) {
    case kWill:
        if (option == kOptComPort) comPort_ = true;
        if (supported) {
            if (!remoteOn_[option]) {
                remoteOn_[option] = 1;
                negotiate(kDo, option, reply);
            }
        } else if (!refused_[option]) {
            refused_[option] = 1;
            negotiate(kDont, option, reply);
        }
        break;
    case kWont:
        if (option == kOptComPort) comPort_ = false;
        if (remoteOn_[option]) {
            remoteOn_[option] = 0;
            negotiate(kDont, option, reply);
        }
        break;
    case kDo:
        if (supported && option != kOptComPort) {
            if (!localOn_[option]) {
                localOn_[option] = 1;
                negotiate(kWill, option, reply);
            }
        } else if (!refused_[option]) {
            refused_[option] = 1;
            negotiate(kWont, option, reply);
        }
        break;
    case kDont:
        if (localOn_[option]) {
            localOn_[option] = 0;
            negotiate(kWont, option, reply);
        }
        break;
    default:
        break;
    }
}

void ComPortServer::subnegotiation(ComPortListener &listener, std::vector<uint8_t> &reply) {
    if (sbOption_ != kOptComPort || sb_.empty()) {
        ++malformed_;
        return;
    }
    const uint8_t command = sb_[0];
    const std::vector<uint8_t> args(sb_.begin() + 1, sb_.end());
    auto value = [&]() -> int { return args.size() == 1 ? args[0] : -1; };
    switch (command) {
    case 0:  // SIGNATURE
        if (args.empty()) {
            const std::string sig = "kvr7x-emu";
            comPort(kServer + 0, std::vector<uint8_t>(sig.begin(), sig.end()), reply);
        } else {
            listener.onControl("SIGNATURE " + std::string(args.begin(), args.end()));
        }
        return;
    case 1: {  // SET-BAUDRATE
        if (args.size() != 4) break;
        const uint32_t v = uint32_t{args[0]} << 24 | uint32_t{args[1]} << 16 |
                           uint32_t{args[2]} << 8 | args[3];
        if (v != 0) {
            baud_ = v;
            listener.onControl("SET-BAUDRATE " + std::to_string(v));
        }
        const std::vector<uint8_t> ack = {static_cast<uint8_t>(baud_ >> 24),
                                          static_cast<uint8_t>(baud_ >> 16),
                                          static_cast<uint8_t>(baud_ >> 8),
                                          static_cast<uint8_t>(baud_)};
        comPort(kServer + 1, ack, reply);
        return;
    }
    case 2:  // SET-DATASIZE
    case 3:  // SET-PARITY
    case 4:  // SET-STOPSIZE
    {
        const int v = value();
        if (v < 0) break;
        static const char *const names[] = {"SET-DATASIZE ", "SET-PARITY ", "SET-STOPSIZE "};
        uint8_t &field = command == 2 ? dataSize_ : command == 3 ? parity_ : stopSize_;
        if (v != 0) {
            field = static_cast<uint8_t>(v);
            listener.onControl(names[command - 2] + std::to_string(v));
        }
        comPort(static_cast<uint8_t>(kServer + command), {field}, reply);
        return;
    }
    case 5: {  // SET-CONTROL
        const int v = value();
        if (v < 0) break;
        uint8_t ack = static_cast<uint8_t>(v);
        switch (v) {
        case 0:
            ack = flow_;
            break;
        case 1:
        case 2:
        case 3:
            flow_ = static_cast<uint8_t>(v);
            listener.onControl("SET-CONTROL flow " + std::to_string(v));
            break;
        case 7:
            ack = dtr_ ? 8 : 9;
            break;
        case 8:
        case 9:
            dtr_ = v == 8;
            listener.onDtr(dtr_);
            break;
        case 10:
            ack = rts_ ? 11 : 12;
            break;
        case 11:
        case 12:
            rts_ = v == 11;
            listener.onRts(rts_);
            break;
        default:
            listener.onControl("SET-CONTROL " + std::to_string(v));
            break;
        }
        comPort(kServer + 5, {ack}, reply);
        return;
    }
    case 10:  // SET-LINESTATE-MASK
        if (value() < 0) break;
        comPort(kServer + 10, args, reply);
        return;
    case 11:  // SET-MODEMSTATE-MASK
        if (value() < 0) break;
        modemMask_ = args[0];
        listener.onControl("SET-MODEMSTATE-MASK " + hexByte(modemMask_));
        comPort(kServer + 11, args, reply);
        listener.onModemStateMask(modemMask_);
        return;
    case 12:  // PURGE-DATA
        if (value() < 1 || value() > 3) break;
        comPort(kServer + 12, args, reply);
        listener.onPurge(args[0]);
        return;
    case 8:  // FLOWCONTROL-SUSPEND
    case 9:  // FLOWCONTROL-RESUME
        return;
    default:
        break;
    }
    ++malformed_;
    listener.onControl("unknown COM-PORT command " + std::to_string(command) + " (" +
                       std::to_string(args.size()) + " bytes)");
}

}  // namespace kvr7x::emu
