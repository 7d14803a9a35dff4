// Command APDUs of every ISO 7816-4 case through the driver to the emulated
// reader: the reader commands they become, and the response APDU that comes
// back, which must be the card's own answer to the last of those commands.
#include <gtest/gtest.h>

#include "apdu_transport.h"
#include "command_apdu.h"
#include "emulator.h"
#include "iso_card.h"
#include "kvr7x.h"
#include "network_test_support.h"

using namespace kvr7x::pcsc;
using kvr7x::emu::IsoCard;
using kvr7x::emu::LogEntry;
using Bytes = std::vector<uint8_t>;

namespace {

// What the card itself answers to the commands the reader passed on, the
// last one's data and status word.
Bytes cardAnswer(IsoCard &card, const std::vector<Bytes> &frames) {
    kvr7x::emu::CardResponse r;
    for (const Bytes &f : frames) {
        const bool withData = (f[0] & 0x80) != 0;
        r = card.process(f[1], f[2], f[3], f[4], f[5], withData ? Bytes(f.begin() + 6, f.end()) : Bytes{}, withData);
    }
    Bytes out = r.data;
    out.push_back(r.sw1);
    out.push_back(r.sw2);
    return out;
}

std::vector<Bytes> framesSeen(const kvr7x::emu::Emulator &emu) {
    std::vector<Bytes> frames;
    for (const LogEntry &e : emu.log().entries())
        if (e.kind == LogEntry::Kind::FromHost) frames.push_back(e.bytes);
    return frames;
}

}  // namespace

TEST(ApduTransport, EachCaseBecomesTheReaderCommandsOfAT0Reader) {
    auto emu = kvr7x::test::startEmulator();
    const int32_t port = QXOPEN(emu->url().c_str());
    ASSERT_GE(port, 0);
    int32_t len = 0;
    Bytes atr(256);
    ASSERT_EQ(QXPOWERON(port, 0, 0, &len, atr.data(), nullptr, nullptr), 0);
    IsoCard card;  // the same card, asked directly

    struct Case {
        const char *what;
        Bytes apdu;
        std::vector<Bytes> frames;  // as the reader receives them
    };
    const std::vector<Case> cases = {
        {"case 3: ISO IN with the data",
         {0x00, 0xA4, 0x08, 0x0C, 0x04, 0x7F, 0x10, 0x6F, 0x01},
         {{0xA1, 0x00, 0xA4, 0x08, 0x0C, 0x04, 0x7F, 0x10, 0x6F, 0x01}}},
        {"case 2: ISO OUT with P3 = Le", {0x00, 0xB0, 0x00, 0x10, 0x08}, {{0x21, 0x00, 0xB0, 0x00, 0x10, 0x08}}},
        {"case 2, Le 256 as P3 00", {0x00, 0xB0, 0x00, 0x00, 0x00}, {{0x21, 0x00, 0xB0, 0x00, 0x00, 0x00}}},
        {"case 1: ISO IN, P3 00, no data block", {0x00, 0xA4, 0x03, 0x0C}, {{0x21, 0x00, 0xA4, 0x03, 0x0C, 0x00}}},
        {"case 3 answered 61xx: passed on as it is",
         {0x00, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x00},
         {{0xA1, 0x00, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x00}}},
        {"case 2 answered 6Cxx: once more with P3 = xx",
         {0x00, 0xC0, 0x00, 0x00, 0x20},
         {{0x21, 0x00, 0xC0, 0x00, 0x00, 0x20}, {0x21, 0x00, 0xC0, 0x00, 0x00, 0x0D}}},
        {"case 4: GET RESPONSE for what 61xx announces",
         {0x00, 0xA4, 0x00, 0x00, 0x02, 0x6F, 0x01, 0x00},
         {{0xA1, 0x00, 0xA4, 0x00, 0x00, 0x02, 0x6F, 0x01}, {0x21, 0x00, 0xC0, 0x00, 0x00, 0x0D}}},
        {"case 4, Le shorter than what waits",
         {0x00, 0xA4, 0x00, 0x04, 0x02, 0x6F, 0x01, 0x05},
         {{0xA1, 0x00, 0xA4, 0x00, 0x04, 0x02, 0x6F, 0x01}, {0x21, 0x00, 0xC0, 0x00, 0x00, 0x05}}},
        {"case 4 answered 9000: no GET RESPONSE",
         {0x00, 0xA4, 0x00, 0x0C, 0x02, 0x2F, 0x00, 0x10},
         {{0xA1, 0x00, 0xA4, 0x00, 0x0C, 0x02, 0x2F, 0x00}}},
        {"case 4 answered with an error",
         {0x00, 0xA4, 0x04, 0x00, 0x02, 0xA0, 0x00, 0x00},
         {{0xA1, 0x00, 0xA4, 0x04, 0x00, 0x02, 0xA0, 0x00}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        CommandApdu apdu;
        ASSERT_EQ(parseCommandApdu(c.apdu.data(), c.apdu.size(), apdu), ApduForm::Short);
        emu->log().clear();
        const ApduOutcome out = transmitApdu(port, 0, apdu, 1000);
        EXPECT_EQ(out.result, 0);
        EXPECT_EQ(framesSeen(*emu), c.frames);
        EXPECT_EQ(out.response, cardAnswer(card, c.frames));
    }
    EXPECT_EQ(QXCLOSE(port), 1);
}
