// kvr7x --decode: what a reply means, under the reply.  The status word's
// meaning; the card's ATR after an activation (send 20 .. 80 ..); BER-TLV
// objects after any other command whose reply data parse whole.
//
// For people, one field a line after the reply's:
//   MEANING Proceso correcto
//   ATR ATR de 12 bytes, TS 3B: convención directa      (one line each)
//   TLV 6F [26] Plantilla FCI                            (nested: indented)
// In JSON, members added to the reply's object (the keys of kvr7x(1)):
//   "meaning":"Proceso correcto",
//   "atr":{"ts":"3B","convention":"direct","protocols":[0],"fi":372,...},
//   "tlv":[{"tag":"6F","length":26,"name":"Plantilla FCI","children":[...]}]
#ifndef KVR_CLI_DECODING_REPORT_H
#define KVR_CLI_DECODING_REPORT_H

#include "reader_session.h"

#include "decode/atr.h"
#include "decode/ber_tlv.h"

#include <string>

namespace kvr::cli {

std::string textDecoding(const ReaderCommand &command, const Outcome &outcome);

// The object of jsonReport (one line, "}\n" at its end) with the decoding's
// members added before its end.
std::string withJsonDecoding(std::string json, const ReaderCommand &command, const Outcome &outcome);

// The JSON values of the two decodings.
std::string atrJson(const decode::Atr &atr);
std::string tlvJson(const decode::TlvData &tlv);

}  // namespace kvr::cli

#endif
