#include "reader_slot.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdio>

#include "apdu_transport.h"
#include "handler_log.h"
#include "command_apdu.h"
#include "ifd_result.h"
#include "common/reader_protocol.h"
#include "decode/atr.h"
#include "kvr7x.h"

namespace kvr7x::pcsc {

namespace {

using namespace kvr::reader;

}  // namespace

ReaderSlot::ReaderSlot(std::string deviceName, uint32_t replyTimeoutMs)
    : name_(std::move(deviceName)), replyTimeout_(replyTimeoutMs) {}

ReaderSlot::~ReaderSlot() { close(); }

std::optional<bool> ReaderSlot::echoes() const {
    // The reader echoes when it identifies as "VEXA" with "3" as the tenth
    // byte (the driver switches its echo mode by the same rule).
    const auto &id = identification_;
    if (id.size() < 10) return std::nullopt;
    if (!std::equal(id.begin(), id.begin() + 4, "VEXA")) return std::nullopt;
    return id[9] == '3';
}

bool ReaderSlot::openPort() {
    lastAttempt_ = std::chrono::steady_clock::now();
    port_ = QXOPEN(name_.c_str());
    if (port_ < 0) return false;
    // The open already reset the reader but kept its answer to itself.
    std::array<uint8_t, 256> id{};
    int32_t len = 0;
    if (QXRESET(port_, &len, id.data()) == 0) identification_.assign(id.begin(), id.begin() + std::clamp(len, 0, 255));
    return true;
}

RESPONSECODE ReaderSlot::open() {
    if (isOpen()) return IFD_SUCCESS;
    return openPort() ? IFD_SUCCESS : IFD_COMMUNICATION_ERROR;
}

void ReaderSlot::close() {
    if (!isOpen()) return;
    QXPOWEROFF(port_, kCardUnit);
    QXCLOSE(port_);
    port_ = -1;
    atr_.clear();
}

void ReaderSlot::resetReader() {
    if (!isOpen()) return;
    atr_.clear();
    const int32_t r = QXRESET(port_, nullptr, nullptr);
    if (lineLost(r)) loseLine(r);
}

bool ReaderSlot::reconnect() {
    if (std::chrono::steady_clock::now() - lastAttempt_ < kReconnectPause) return false;
    if (!openPort()) return false;
    logMessage(LogLevel::Info, "%s: port open again", name_.c_str());
    return true;
}

void ReaderSlot::loseLine(int32_t r) {
    assert(isOpen());
    logMessage(LogLevel::Error, "%s: line to the reader lost (error result 0x%08X); reopening", name_.c_str(),
               static_cast<unsigned>(r));
    QXCLOSE(port_);
    port_ = -1;
    atr_.clear();
}

RESPONSECODE ReaderSlot::cardState(bool present) {
    if (!present) atr_.clear();
    return present ? IFD_ICC_PRESENT : IFD_ICC_NOT_PRESENT;
}

RESPONSECODE ReaderSlot::presence() {
    if (!isOpen() && !reconnect()) return IFD_COMMUNICATION_ERROR;
    const int32_t lines = QXIFDSTATUS(port_);
    if (lines & KVR7X_MS_RLSD) return cardState((lines & KVR7X_MS_DSR) != 0);
    // Carrier off: an unpowered reader, a lost line, or a network port whose
    // server has not reported the lines.  The reader's own answer decides.
    const int32_t r = QXSENDCOMMAND(port_, kReaderCommand, 0x00, kStatusRequest, kCardUnit, 0x00, 0x00, nullptr,
                                    nullptr, nullptr, nullptr, kProbeTimeoutMs);
    if (r == 0) return cardState(true);
    if (r == kStatNoCard) return cardState(false);
    if (lineLost(r)) loseLine(r);
    return IFD_COMMUNICATION_ERROR;
}

RESPONSECODE ReaderSlot::powerUp(std::vector<uint8_t> &atr) {
    assert(isOpen());
    std::array<uint8_t, 256> data{};
    int32_t len = 0;
    uint8_t sw1 = 0, sw2 = 0;
    const int32_t r = QXPOWERON(port_, kCardUnit, kAsynchronousCard, &len, data.data(), &sw1, &sw2);
    if (r != 0) {
        if (lineLost(r)) loseLine(r);
        return powerResult(r);
    }
    // A card that gave no ATR, or one longer than PC/SC allows, is not usable.
    if (len < 1 || len > MAX_ATR_SIZE) return IFD_ERROR_POWER_ACTION;
    atr_.assign(data.begin(), data.begin() + len);
    atr = atr_;
    noteFaultyAtr();
    return IFD_SUCCESS;
}

void ReaderSlot::noteFaultyAtr() const {
    const kvr::decode::Atr decoded = kvr::decode::decodeAtr(atr_);
    if (decoded.stop) {
        logMessage(LogLevel::Error, "%s: the card's ATR does not decode beyond its byte %zu (of %zu)", name_.c_str(),
                   decoded.stop->offset, atr_.size());
    } else if (decoded.tck.present && !decoded.tck.ok) {
        logMessage(LogLevel::Error, "%s: the card's ATR has the check byte TCK %02X where its bytes make it %02X",
                   name_.c_str(), decoded.tck.value, decoded.tck.right);
    }
}

RESPONSECODE ReaderSlot::power(unsigned long action, std::vector<uint8_t> &atr) {
    atr.clear();
    if (!isOpen()) return IFD_COMMUNICATION_ERROR;
    switch (action) {
    case IFD_POWER_UP: return powerUp(atr);
    case IFD_POWER_DOWN: {
        atr_.clear();
        const int32_t r = QXPOWEROFF(port_, kCardUnit);
        if (lineLost(r)) loseLine(r);
        return powerResult(r);
    }
    case IFD_RESET: {
        atr_.clear();
        const int32_t r = QXRESET(port_, nullptr, nullptr);
        if (r != 0) {
            if (lineLost(r)) loseLine(r);
            return powerResult(r);
        }
        return powerUp(atr);
    }
    default: return IFD_NOT_SUPPORTED;
    }
}

RESPONSECODE ReaderSlot::transmit(const uint8_t *bytes, size_t length, std::vector<uint8_t> &response) {
    response.clear();
    if (!isOpen()) return IFD_COMMUNICATION_ERROR;
    CommandApdu apdu;
    switch (parseCommandApdu(bytes, length, apdu)) {
    case ApduForm::Extended: return IFD_NOT_SUPPORTED;
    case ApduForm::Malformed: return IFD_COMMUNICATION_ERROR;
    case ApduForm::Short: break;
    }
    ApduOutcome out = transmitApdu(port_, kCardUnit, apdu, replyTimeout_);
    if (out.result != 0) {
        if (lineLost(out.result)) loseLine(out.result);
        return transmitResult(out.result);
    }
    response = std::move(out.response);
    return IFD_SUCCESS;
}

}  // namespace kvr7x::pcsc
