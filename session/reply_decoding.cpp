#include "session/reply_decoding.h"

#include "common/reader_protocol.h"
#include "decode/describe.h"

namespace kvr::session {

bool isActivation(uint8_t code, uint8_t ins) { return code == reader::kReaderCommand && ins == reader::kActivateCard; }

ReplyDecoding decodeReply(uint8_t code, uint8_t ins, std::span<const uint8_t> data) {
    ReplyDecoding decoding;
    if (data.empty()) return decoding;
    if (isActivation(code, ins)) {
        decode::Atr atr = decode::decodeAtr(data);
        if (atr.convention) decoding.atr = std::move(atr);
        return decoding;
    }
    decode::TlvData tlv = decode::decodeBerTlv(data);
    if (tlv.parsed()) decoding.tlv = std::move(tlv);
    return decoding;
}

std::vector<std::string> ReplyDecoding::lines() const {
    if (atr) return decode::describeAtr(*atr);
    if (tlv) return decode::describeTlv(*tlv);
    return {};
}

std::string ReplyDecoding::summary() const {
    std::string text;
    for (const std::string &line : lines()) {
        const std::size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos) continue;
        if (!text.empty()) text += "; ";
        text += line.substr(first);
    }
    return text;
}

}  // namespace kvr::session
