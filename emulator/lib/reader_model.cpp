#include "reader_model.h"

#include <algorithm>

#include "common/reader_protocol.h"

namespace kvr7x::emu {

namespace {

constexpr uint8_t kResetAnswerStart = 0x90;

Reply stat(uint8_t s) {
    Reply r;
    r.stat = s;
    return r;
}

size_t expectedLength(const std::vector<uint8_t> &frame) {
    if (frame.size() < 6) return 6;
    if ((frame[0] & 0x80) == 0) return 6;
    return 6 + (frame[5] == 0 ? 256 : frame[5]);
}

bool knownCardType(uint8_t type) {
    return type == 0x00 || type == 0x02 || type == 0x05 || type == 0x06 || type == 0x07 || type == 0x08;
}

}  // namespace

std::vector<uint8_t> defaultIdentification() {
    const std::string model = "VEXA KVR74S#";
    std::vector<uint8_t> id(model.begin(), model.end());
    // Hardware version 1.2, firmware version 3.4, eight serial bytes.
    for (uint8_t b : {0x01, 0x02, 0x03, 0x04, 0x00, 0x00, 0x74, 0x05, 0x20, 0x26, 0x0A, 0x42}) id.push_back(b);
    return id;
}

std::vector<uint8_t> basicIdentification() {
    const std::string model = "VEXA KVR73C#";
    std::vector<uint8_t> id(model.begin(), model.end());
    for (uint8_t b : {0x73, 0x00, 0x12, 0x34, 0x56}) id.push_back(b);
    return id;
}

bool identificationEchoes(const std::vector<uint8_t> &id) {
    return id.size() >= 10 && std::equal(id.begin(), id.begin() + 4, "VEXA") && id[9] == '3';
}

ReaderModel::ReaderModel() : identification_(defaultIdentification()) {
    units_[0].present = true;
    units_[1].present = true;
    for (unsigned u = 1; u < 4; ++u) {
        const std::string atr = "VEXASAM" + std::to_string(u);
        std::vector<uint8_t> bytes = {0x3B, 0x68, 0x00, 0x00};
        bytes.insert(bytes.end(), atr.begin(), atr.end());
        cards_[u].setAtr(bytes);
    }
}

void ReaderModel::setPowered(bool powered) {
    powered_ = powered;
    if (!powered) {
        for (Unit &u : units_) u.active = false;
        frame_.clear();
    }
}

void ReaderModel::setPresent(unsigned unit, bool present) {
    if (unit >= 4) return;
    units_[unit].present = present;
    if (!present) {
        units_[unit].active = false;
        cards_[unit].reset();
    }
}

void ReaderModel::setRts(bool on, ModelOutput &out) {
    const bool pulse = rts_ && !on;
    rts_ = on;
    if (!pulse || !powered_) return;
    ++resets_;
    if (!frame_.empty()) dropPartialFrame(out);
    for (size_t u = 0; u < units_.size(); ++u) {
        units_[u].active = false;
        cards_[u].reset();
    }
    out.notes.push_back("reader reset");
    if (!answering()) return;
    Emission e{Emission::Kind::ResetAnswer, noise_, noise_.size()};
    e.bytes.push_back(kResetAnswerStart);
    e.bytes.push_back(secondStatus_);
    const size_t n = std::min<size_t>(identification_.size(), 255);
    e.bytes.push_back(static_cast<uint8_t>(n));
    e.bytes.insert(e.bytes.end(), identification_.begin(), identification_.begin() + static_cast<std::ptrdiff_t>(n));
    out.emissions.push_back(std::move(e));
}

void ReaderModel::dropPartialFrame(ModelOutput &out) {
    if (frame_.empty()) return;
    out.notes.push_back("partial frame of " + std::to_string(frame_.size()) + " bytes dropped");
    frame_.clear();
}

void ReaderModel::receive(uint8_t byte, Clock::time_point when, ModelOutput &out) {
    if (!powered_) return;
    if (!frame_.empty() && when - lastByte_ > kFrameGap) dropPartialFrame(out);
    lastByte_ = when;
    if (answering() && echoes()) out.emissions.push_back({Emission::Kind::Echo, {byte}, 0});
    frame_.push_back(byte);
    if (frame_.size() == expectedLength(frame_)) handleFrame(out);
}

void ReaderModel::handleFrame(ModelOutput &out) {
    std::vector<uint8_t> frame;
    frame.swap(frame_);
    out.frames.push_back(frame);
    if (!answering()) return;
    Reply reply;
    if (auto scripted = rules_.match(frame)) {
        reply = *scripted;
    } else {
        const uint8_t code = frame[0];
        const bool withData = (code & 0x80) != 0;
        const uint8_t base = code & 0x7F;
        if (code == kvr::reader::kReaderCommand)
            reply = readerCommand(frame[2], frame[3], frame[4]);
        else if (base >= kvr::reader::kIsoOut && base <= kvr::reader::kIsoOut + kvr::reader::kHighestUnit)
            reply = isoCommand(base - kvr::reader::kIsoOut, withData, frame);
        else
            reply = stat(kStatUnknownCommand);
    }
    Emission e{Emission::Kind::Reply, {reply.stat, reply.sw1, reply.sw2}, 0};
    const size_t n = std::min<size_t>(reply.data.size(), 255);
    e.bytes.push_back(static_cast<uint8_t>(n));
    e.bytes.insert(e.bytes.end(), reply.data.begin(), reply.data.begin() + static_cast<std::ptrdiff_t>(n));
    out.emissions.push_back(std::move(e));
}

Reply ReaderModel::readerCommand(uint8_t ins, uint8_t unit, uint8_t p2) {
    using namespace kvr::reader;
    if (unit > kHighestUnit) return stat(kStatBadParameter);
    Unit &u = units_[unit];
    switch (ins) {
    case kStatusRequest:
    case kInsertCard: return stat(u.present ? kStatDone : kStatNoCard);
    case kRemoveCard:
        if (!u.present) return stat(kStatNoCard);
        u.active = false;
        cards_[unit].reset();
        return stat(kStatDone);
    case kSelectCardType:
        if (!knownCardType(p2)) return stat(kStatCardUnsupported);
        u.cardType = p2;
        return stat(kStatDone);
    case kActivateCard: {
        if (!u.present) return stat(kStatNoCard);
        if (!knownCardType(p2)) return stat(kStatCardUnsupported);
        u.active = true;
        cards_[unit].reset();
        Reply r = stat(kStatDone);
        r.sw1 = 0x90;
        r.data = cards_[unit].atr();
        return r;
    }
    case kDeactivateCard:
        if (!u.present) return stat(kStatNoCard);
        u.active = false;
        cards_[unit].reset();
        return stat(kStatDone);
    default: return stat(kStatUnknownCommand);
    }
}

Reply ReaderModel::isoCommand(unsigned unit, bool withData, const std::vector<uint8_t> &f) {
    if (!units_[unit].present) return stat(kStatNoCard);
    if (!units_[unit].active) return stat(kStatCardNotPowered);
    std::vector<uint8_t> data;
    if (withData) data.assign(f.begin() + 6, f.end());
    const CardResponse c = cards_[unit].process(f[1], f[2], f[3], f[4], f[5], data, withData);
    Reply r = stat(kStatDone);
    r.sw1 = c.sw1;
    r.sw2 = c.sw2;
    r.data = c.data;
    return r;
}

}  // namespace kvr7x::emu
