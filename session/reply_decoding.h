// What a reply's data say beyond their bytes: the card's answer to reset
// after an activation (CODE 20, INS 80: the card or a SAM), and BER-TLV
// data (an FCI, an FCP...) after any other reply whose data parse whole.
// The console shows the lines as the tip of its reply views, the history
// keeps them, and kvr7x --decode prints them.
#ifndef KVR_SESSION_REPLY_DECODING_H
#define KVR_SESSION_REPLY_DECODING_H

#include "decode/atr.h"
#include "decode/ber_tlv.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kvr::session {

// A reader command that activates the card or a SAM and answers its ATR.
bool isActivation(uint8_t code, uint8_t ins);

struct ReplyDecoding {
    // An activation's reply that begins with a TS the standard knows (a
    // synchronous card's answer does not).
    std::optional<decode::Atr> atr;
    // Data that are BER-TLV objects from their first byte to their last.
    std::optional<decode::TlvData> tlv;

    bool empty() const { return !atr && !tlv; }
    // The decoding in Spanish lines, nested objects indented.
    std::vector<std::string> lines() const;
    // The same lines on one line, each trimmed, "; " between them (the
    // history's column, its text and CSV).
    std::string summary() const;
};

ReplyDecoding decodeReply(uint8_t code, uint8_t ins, std::span<const uint8_t> data);

}  // namespace kvr::session

#endif
