// One reader as pcscd drives it, against the emulated reader: results as IFD
// codes, card presence, a lost line and its return, and the readers one
// process can serve together.
#include <gtest/gtest.h>

#include <chrono>

#include "emulator.h"
#include "eventually.h"
#include "network_test_support.h"
#include "reader_slot.h"
#include "reader_table.h"

using namespace kvr7x::pcsc;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

// Polls a slot's presence until it gives `want` or `limit` passes.
// Each poll is an exchange with the reader.
RESPONSECODE presenceBecomes(ReaderSlot &slot, RESPONSECODE want, std::chrono::milliseconds limit = 5000ms) {
    RESPONSECODE rc = IFD_SUCCESS;
    (void)kvr7x::test::eventually([&] { return (rc = slot.presence()) == want; }, limit, 20ms);
    return rc;
}

}  // namespace

TEST(ReaderSlot, ReaderStatusesAndSilenceBecomeIfdCodesWithoutStatusWords) {
    struct Case {
        uint8_t stat;
        RESPONSECODE rc;
    };
    const std::vector<Case> cases = {
        {0x50, IFD_ICC_NOT_PRESENT},     {0x30, IFD_RESPONSE_TIMEOUT},    {0x90, IFD_RESPONSE_TIMEOUT},
        {0x20, IFD_NOT_SUPPORTED},       {0x60, IFD_NOT_SUPPORTED},       {0xD0, IFD_NOT_SUPPORTED},
        {0xF0, IFD_NOT_SUPPORTED},       {0x40, IFD_COMMUNICATION_ERROR}, {0x80, IFD_COMMUNICATION_ERROR},
        {0xC0, IFD_COMMUNICATION_ERROR},
    };
    // The reader answers instruction n of the table with its STAT, and the
    // card's SW1 SW2 90 00 that must not reach the application.
    kvr7x::emu::Config config;
    std::string rules;
    for (size_t i = 0; i < cases.size(); ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "A1 00 %02zX * => %02X 90 00\n", i + 1, cases[i].stat);
        rules += line;
    }
    std::string error;
    ASSERT_TRUE(config.rules.parse(rules, error)) << error;
    auto emu = kvr7x::test::startEmulator(std::move(config));

    ReaderSlot slot(emu->url(), 300);
    ASSERT_EQ(slot.open(), IFD_SUCCESS);
    Bytes atr;
    ASSERT_EQ(slot.power(IFD_POWER_UP, atr), IFD_SUCCESS);
    EXPECT_EQ(atr, emu->atr(0));
    EXPECT_EQ(slot.atr(), atr);
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const Bytes apdu = {0x00, static_cast<uint8_t>(i + 1), 0x00, 0x00, 0x01, 0x55};
        Bytes response = {0xEE};
        EXPECT_EQ(slot.transmit(apdu.data(), apdu.size(), response), cases[i].rc);
        EXPECT_TRUE(response.empty());
    }
    // APDUs the reader's frames cannot carry, and ones that do not add up.
    const Bytes extended = {0x00, 0xB0, 0x00, 0x00, 0x00, 0x01, 0x00};
    const Bytes malformed = {0x00, 0xA4, 0x00, 0x0C, 0x05, 0x3F};
    Bytes response;
    EXPECT_EQ(slot.transmit(extended.data(), extended.size(), response), IFD_NOT_SUPPORTED);
    EXPECT_EQ(slot.transmit(malformed.data(), malformed.size(), response), IFD_COMMUNICATION_ERROR);
    // A reader that does not answer: a time-out, and the line stays open.
    emu->setSilent(true);
    const Bytes read = {0x00, 0xB0, 0x00, 0x00, 0x04};
    EXPECT_EQ(slot.transmit(read.data(), read.size(), response), IFD_RESPONSE_TIMEOUT);
    EXPECT_TRUE(slot.isOpen());
    emu->setSilent(false);
    // The reader's "no card" on activation.
    emu->setCardPresent(false);
    EXPECT_EQ(slot.power(IFD_POWER_UP, atr), IFD_ICC_NOT_PRESENT);
    EXPECT_TRUE(atr.empty());
}

TEST(ReaderSlot, AFaultyAtrIsHandedOnAsItCameAndSaidInTheLog) {
    struct Case {
        const char *atr;
        const char *logged;  // empty: nothing said
    };
    const Case cases[] = {
        {"3B 80 01 81", ""},
        {"3B 80 01 52", "the card's ATR has the check byte TCK 52 where its bytes make it 81"},
        {"3B 92 11", "the card's ATR does not decode beyond its byte 3 (of 3)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.atr);
        kvr7x::emu::Config config;
        std::string error;
        ASSERT_TRUE(config.rules.parse(std::string("20 00 80 00 00 00 => 00 90 00 | ") + c.atr, error)) << error;
        auto emu = kvr7x::test::startEmulator(std::move(config));
        ReaderSlot slot(emu->url(), 300);
        ASSERT_EQ(slot.open(), IFD_SUCCESS);
        Bytes atr;
        ::testing::internal::CaptureStderr();
        const RESPONSECODE rc = slot.power(IFD_POWER_UP, atr);
        const std::string logged = ::testing::internal::GetCapturedStderr();
        ASSERT_EQ(rc, IFD_SUCCESS);
        std::string spaced;
        for (const uint8_t b : atr) {
            char hex[4];
            std::snprintf(hex, sizeof hex, spaced.empty() ? "%02X" : " %02X", b);
            spaced += hex;
        }
        EXPECT_EQ(spaced, c.atr);
        if (*c.logged)
            EXPECT_NE(logged.find(c.logged), std::string::npos) << logged;
        else
            EXPECT_EQ(logged.find("ATR"), std::string::npos) << logged;
    }
}

TEST(ReaderSlot, PresenceFollowsTheCardLineAndALostLineComesBack) {
    auto emu = kvr7x::test::startEmulator();
    const uint16_t port = emu->port();
    ReaderSlot slot(emu->url(), 1000);
    ASSERT_EQ(slot.open(), IFD_SUCCESS);
    EXPECT_EQ(presenceBecomes(slot, IFD_ICC_PRESENT), IFD_ICC_PRESENT);
    Bytes atr;
    ASSERT_EQ(slot.power(IFD_POWER_UP, atr), IFD_SUCCESS);

    emu->setCardPresent(false);
    EXPECT_EQ(presenceBecomes(slot, IFD_ICC_NOT_PRESENT), IFD_ICC_NOT_PRESENT);
    EXPECT_TRUE(slot.atr().empty());
    emu->setCardPresent(true);
    EXPECT_EQ(presenceBecomes(slot, IFD_ICC_PRESENT), IFD_ICC_PRESENT);

    // An unpowered reader is an error, not a lost line.
    emu->setPowered(false);
    EXPECT_EQ(presenceBecomes(slot, IFD_COMMUNICATION_ERROR), IFD_COMMUNICATION_ERROR);
    EXPECT_TRUE(slot.isOpen());
    emu->setPowered(true);
    EXPECT_EQ(presenceBecomes(slot, IFD_ICC_PRESENT), IFD_ICC_PRESENT);

    // The server gone: the port is closed once the driver has seen the
    // connection end (its receive thread sees it a moment later); back on
    // its address: reopened.
    emu.reset();
    EXPECT_EQ(presenceBecomes(slot, IFD_COMMUNICATION_ERROR), IFD_COMMUNICATION_ERROR);
    EXPECT_FALSE(slot.isOpen());
    kvr7x::emu::Config again;
    again.port = port;
    auto back = std::make_unique<kvr7x::emu::Emulator>(again);
    std::string error;
    ASSERT_TRUE(back->start(error)) << error;
    EXPECT_EQ(presenceBecomes(slot, IFD_ICC_PRESENT, ReaderSlot::kReconnectPause + 5000ms), IFD_ICC_PRESENT);
    EXPECT_TRUE(slot.isOpen());
    ASSERT_EQ(slot.power(IFD_POWER_UP, atr), IFD_SUCCESS);
    const Bytes challenge = {0x00, 0x84, 0x00, 0x00, 0x08};
    Bytes response;
    ASSERT_EQ(slot.transmit(challenge.data(), challenge.size(), response), IFD_SUCCESS);
    EXPECT_EQ(response.size(), 10u);
}

TEST(ReaderTable, ServesReadersOfOneEchoModeTogether) {
    auto plain = kvr7x::test::startEmulator();
    kvr7x::emu::Config basic;
    basic.identification = kvr7x::emu::basicIdentification();  // echoes every byte
    auto echoing = kvr7x::test::startEmulator(basic);

    ReaderTable table;
    EXPECT_EQ(table.create(0x00000, plain->url()), IFD_SUCCESS);
    EXPECT_EQ(table.create(0x00000, plain->url()), IFD_COMMUNICATION_ERROR);  // LUN in use
    EXPECT_EQ(table.create(0x10000, echoing->url()), IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(table.find(0x10000), nullptr);
    EXPECT_EQ(table.find(0x00001), nullptr);  // one slot a reader
    EXPECT_EQ(table.create(0x20000, "/nonexistent/kvr7x-tty"), IFD_COMMUNICATION_ERROR);

    // The reader served before works on in its own echo mode.
    ReaderSlot *slot = table.find(0x00000);
    ASSERT_NE(slot, nullptr);
    Bytes atr;
    ASSERT_EQ(slot->power(IFD_POWER_UP, atr), IFD_SUCCESS);
    EXPECT_EQ(atr, plain->atr(0));
    EXPECT_EQ(table.close(0x00000), IFD_SUCCESS);
    EXPECT_EQ(table.close(0x00000), IFD_NO_SUCH_DEVICE);
}
