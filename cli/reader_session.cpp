#include "reader_session.h"

#include <kvr7x.h>

#include <algorithm>
#include <array>

namespace kvr::cli {

namespace {

// The reply data of isoout are the P3 bytes asked for, shown when the card's
// status word says it sent them (9000, or a warning 62xx / 63xx); P3 00
// shows none, as the call does not tell how many came (send does).
bool isoOutDataShown(uint8_t sw1, uint8_t p3) { return p3 != 0 && (sw1 == 0x90 || sw1 == 0x62 || sw1 == 0x63); }

}  // namespace

ReaderSession::ReaderSession(const std::string &portName) : handle_(QXOPEN(portName.c_str())) {}

ReaderSession::~ReaderSession() {
    if (handle_ >= 0) QXCLOSE(handle_);
}

Outcome ReaderSession::run(const ReaderCommand &command) {
    Outcome outcome;
    outcome.operation = command.operation;
    std::array<uint8_t, 256> buffer{};
    uint8_t sw1 = 0, sw2 = 0;
    switch (command.operation) {
    case Operation::Reset: {
        int32_t length = 0;
        outcome.result = QXRESET(handle_, &length, buffer.data());
        if (outcome.result == 0 && length > 0)
            outcome.data.assign(buffer.begin(), buffer.begin() + std::min<int32_t>(length, 255));
        break;
    }
    case Operation::Status:
        outcome.result = QXICCSTATUS(handle_, command.unit);
        outcome.cardPresent = QXCARDINSERTED(handle_, command.unit) == 1;
        outcome.readerPowered = QXREADERPOWERED(handle_) == 1;
        break;
    case Operation::Send: {
        std::copy(command.data.begin(), command.data.end(), buffer.begin());
        int32_t length = 0;
        outcome.result = QXSENDCOMMAND(handle_, command.code, command.cla, command.ins, command.p1, command.p2,
                                       command.p3, buffer.data(), &sw1, &sw2, &length, command.timeoutMs);
        if (outcome.result >= 0) {
            outcome.sw1 = sw1;
            outcome.sw2 = sw2;
            outcome.length = length;
            outcome.data.assign(buffer.begin(), buffer.begin() + std::clamp<int32_t>(length, 0, 255));
        }
        break;
    }
    case Operation::IsoIn:
        std::copy(command.data.begin(), command.data.end(), buffer.begin());
        outcome.result = QXISOIN(handle_, command.unit, command.cla, command.ins, command.p1, command.p2, command.p3,
                                 buffer.data(), &sw1, &sw2, command.timeoutMs);
        if (outcome.result >= 0) {
            outcome.sw1 = sw1;
            outcome.sw2 = sw2;
        }
        break;
    case Operation::IsoOut:
        outcome.result = QXISOOUT(handle_, command.unit, command.cla, command.ins, command.p1, command.p2, command.p3,
                                  buffer.data(), &sw1, &sw2, command.timeoutMs);
        if (outcome.result >= 0) {
            outcome.sw1 = sw1;
            outcome.sw2 = sw2;
            if (isoOutDataShown(sw1, command.p3)) outcome.data.assign(buffer.begin(), buffer.begin() + command.p3);
        }
        break;
    }
    return outcome;
}

}  // namespace kvr::cli
