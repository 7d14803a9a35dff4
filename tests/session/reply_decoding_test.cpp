// Which decoding a reply gets: the ATR after an activation of the card or
// a SAM, BER-TLV after any other command whose data parse whole, nothing
// otherwise; and the one-line summary the history keeps.
#include "session/reply_decoding.h"

#include <gtest/gtest.h>

#include <vector>

namespace kvr::session {
namespace {

TEST(ReplyDecoding, TheCommandAndTheDataChooseTheLayer) {
    const std::vector<uint8_t> atr{0x3B, 0x00};
    const std::vector<uint8_t> fci{0x6F, 0x03, 0x83, 0x01, 0x01};
    struct Row {
        const char *name;
        uint8_t code, ins;
        std::vector<uint8_t> data;
        bool atr, tlv;
    };
    const Row rows[] = {
        {"the card activated", 0x20, 0x80, atr, true, false},
        {"an FCI after an activation is still read as an ATR (TS 6F: none)", 0x20, 0x80, fci, false, false},
        {"a synchronous card's answer", 0x20, 0x80, {0xA2, 0x13, 0x10, 0x91}, false, false},
        {"an FCI from the card", 0x21, 0xC0, fci, false, true},
        {"an FCI from SAM 2", 0x23, 0xC0, fci, false, true},
        {"an ATR's bytes after a read are no TLV", 0x21, 0xB0, {0x3B, 0x68, 0x00, 0x00, 0x56, 0x45}, false, false},
        {"TLV cut short", 0x21, 0xC0, {0x6F, 0x05, 0x83, 0x01}, false, false},
        {"no data", 0x20, 0x80, {}, false, false},
        {"a status request", 0x20, 0x10, {0x00}, false, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const ReplyDecoding decoding = decodeReply(row.code, row.ins, row.data);
        EXPECT_EQ(decoding.atr.has_value(), row.atr);
        EXPECT_EQ(decoding.tlv.has_value(), row.tlv);
        EXPECT_EQ(decoding.empty(), decoding.lines().empty());
        EXPECT_EQ(decoding.empty(), decoding.summary().empty());
    }
}

TEST(ReplyDecoding, TheSummaryIsTheLinesTrimmedOnOneLine) {
    const std::vector<uint8_t> fci{0x6F, 0x03, 0x83, 0x01, 0x01};
    EXPECT_EQ(decodeReply(0x21, 0xC0, fci).summary(), "6F [3] Plantilla FCI; 83 [1] Identificador de fichero: 01");
}

}  // namespace
}  // namespace kvr::session
