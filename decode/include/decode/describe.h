// The decodings written down for people, one Spanish line each: what the
// console's tip, the history and kvr7x --decode show.  Nested TLV objects
// are indented two spaces a level.
#ifndef KVR_DECODE_DESCRIBE_H
#define KVR_DECODE_DESCRIBE_H

#include "decode/atr.h"
#include "decode/ber_tlv.h"

#include <string>
#include <vector>

namespace kvr::decode {

std::vector<std::string> describeAtr(const Atr &atr);
std::vector<std::string> describeTlv(const TlvData &data);

// "3B 68 00": bytes in hex, one space between them.
std::string spacedHex(std::span<const uint8_t> bytes);
// Fi / Di as the standard's tables give it: "372", "46,5" (a Spanish comma).
std::string cyclesText(double cycles);

}  // namespace kvr::decode

#endif
