// The reader operations of the export table: the frames they send, the
// time-outs they use, what they return, and the modem-line queries.
#include <gtest/gtest.h>

#include "driver_fixture.h"

namespace kvr7x::test {
namespace {

using ReaderOperationsTest = DriverTest;

// The reply-phase time-out a transaction ran under, from the port's log.
uint32_t replyTimeout(const ScriptedPort &p) {
    for (const auto &s : p.log())
        if (s.rfind("setTimeouts ", 0) == 0) return static_cast<uint32_t>(std::stoul(s.substr(12)));
    return 0;
}

TEST_F(ReaderOperationsTest, ReaderCommandsSendTheirFramesAndTimeOuts) {
    struct Case {
        const char *name;
        std::function<int32_t(int32_t)> call;
        Bytes frame;
        uint32_t timeout;
    };
    const Case cases[] = {
        {"status", [](int32_t h) { return QXICCSTATUS(h, 2); }, {0x20, 0, 0x10, 2, 0, 0}, 5000},
        {"insert",
         [](int32_t h) { return QXINSERT(h, 0, 10000); },
         {0x20, 0, 0x20, 0, 0, 0},
         10000},
        {"remove", [](int32_t h) { return QXREMOVE(h, 3, 777); }, {0x20, 0, 0x30, 3, 0, 0}, 777},
        {"power off", [](int32_t h) { return QXPOWEROFF(h, 1); }, {0x20, 0, 0x90, 1, 0, 0}, 5000},
        {"unit low byte",
         [](int32_t h) { return QXICCSTATUS(h, 0x301); },
         {0x20, 0, 0x10, 1, 0, 0},
         5000},
    };
    uint8_t stat = 0x10;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        port->clearSent();
        reader->reply(++stat, 0x12, 0x34, {0x01, 0x02});
        EXPECT_EQ(c.call(handle), stat);
        EXPECT_EQ(port->sent(), c.frame);
        EXPECT_EQ(replyTimeout(*port), c.timeout);
        EXPECT_EQ(port->pendingInput(), 0u);
    }
}

TEST_F(ReaderOperationsTest, IsoInSendsTheDataBlockAndReturnsTheCardsAnswer) {
    reader->reply(0x00, 0x61, 0x15, {0x6F, 0x13});
    uint8_t data[255] = {0x3F, 0x00};
    uint8_t sw1 = 0, sw2 = 0;
    EXPECT_EQ(QXISOIN(handle, 0, 0x00, 0xA4, 0x04, 0x00, 0x02, data, &sw1, &sw2, 1000), 0);
    EXPECT_EQ(port->sent(), (Bytes{0xA1, 0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00}));
    EXPECT_EQ(sw1, 0x61);
    EXPECT_EQ(sw2, 0x15);
    EXPECT_EQ(data[0], 0x6F);
    EXPECT_EQ(data[1], 0x13);
    EXPECT_EQ(replyTimeout(*port), 1000u);
}

TEST_F(ReaderOperationsTest, IsoInCodeFollowsUnitAndP3) {
    struct Case {
        uint32_t unit, p3;
        Bytes header;
        size_t dataBytes;
    };
    const Case cases[] = {
        {0, 0, {0x21, 0x80, 0xCA, 0x9F, 0x7F, 0x00}, 0},
        {2, 5, {0xA3, 0x80, 0xCA, 0x9F, 0x7F, 0x05}, 5},
        {3, 0x100, {0x24, 0x80, 0xCA, 0x9F, 0x7F, 0x00}, 0},  // p3 low byte 0
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "unit " << c.unit << " p3 " << c.p3);
        port->clearSent();
        reader->reply(0x00, 0x90, 0x00);
        uint8_t data[255] = {9, 8, 7, 6, 5};
        EXPECT_EQ(
            QXISOIN(handle, c.unit, 0x80, 0xCA, 0x9F, 0x7F, c.p3, data, nullptr, nullptr, 200), 0);
        const Bytes sent = port->sent();
        ASSERT_GE(sent.size(), 6u);
        EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 6), c.header);
        EXPECT_EQ(sent.size() - 6, c.dataBytes);
    }
}

TEST_F(ReaderOperationsTest, IsoCommandsToAUnitTheReaderDoesNotHaveSendNothing) {
    // From unit 95 on, 0x21 + unit would carry into bit 7 of CODE and send
    // p3 bytes of the reply buffer; no unit above 3 exists at all.
    for (uint32_t unit : {4u, 94u, 95u, 0xDFu, 0x100u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(unit);
        port->clearSent();
        reader->reply(0x00, 0x90, 0x00);
        uint8_t data[4] = {1, 2, 3, 4};  // room for a reply, not for a block of p3
        uint8_t sw1 = 0x11;
        EXPECT_EQ(QXISOOUT(handle, unit, 0, 0xB0, 0, 0, 0xF0, data, &sw1, nullptr, 100),
                  KVR7X_NO_DATA);
        EXPECT_EQ(QXISOIN(handle, unit, 0, 0xD6, 0, 0, 4, data, &sw1, nullptr, 100), KVR7X_NO_DATA);
        EXPECT_TRUE(port->sent().empty());
        EXPECT_EQ(sw1, 0x11);
    }
}

TEST_F(ReaderOperationsTest, IsoOutSendsTheHeaderAloneAndReceivesData) {
    reader->reply(0x00, 0x90, 0x00, {0xDE, 0xAD, 0xBE, 0xEF});
    uint8_t data[255] = {};
    uint8_t sw1 = 0;
    EXPECT_EQ(QXISOOUT(handle, 1, 0x00, 0xB0, 0x00, 0x00, 0x04, data, &sw1, nullptr, 1500), 0);
    EXPECT_EQ(port->sent(), (Bytes{0x22, 0x00, 0xB0, 0x00, 0x00, 0x04}));
    EXPECT_EQ(Bytes(data, data + 4), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(sw1, 0x90);
    EXPECT_EQ(replyTimeout(*port), 1500u);
}

TEST_F(ReaderOperationsTest, PowerOnWithoutEchoActivatesOnly) {
    reader->reply(0x00, 0x3B, 0x00, {0x3B, 0x02, 0x14, 0x50});
    uint8_t data[255] = {};
    uint8_t sw1 = 0, sw2 = 0;
    int32_t len = 0;
    EXPECT_EQ(QXPOWERON(handle, 0, 2, &len, data, &sw1, &sw2), 0);
    EXPECT_EQ(port->sent(), (Bytes{0x20, 0x00, 0x80, 0x00, 0x02, 0x00}));
    EXPECT_EQ(len, 4);
    EXPECT_EQ(Bytes(data, data + 4), (Bytes{0x3B, 0x02, 0x14, 0x50}));
    EXPECT_EQ(sw1, 0x3B);
    EXPECT_EQ(replyTimeout(*port), 5000u);
}

TEST_F(ReaderOperationsTest, PowerOnInEchoModeSelectsTheCardTypeFirst) {
    setEchoMode(true);
    reader->echo = true;
    reader->reply(0x00, 0x00, 0x00);
    reader->reply(0x00, 0x3B, 0x00, {0x3B, 0x00});
    int32_t len = 0;
    uint8_t data[255] = {};
    EXPECT_EQ(QXPOWERON(handle, 0, 2, &len, data, nullptr, nullptr), 0);
    EXPECT_EQ(port->sent(), (Bytes{0x20, 0x00, 0x70, 0x00, 0x02, 0x00,  //
                                   0x20, 0x00, 0x80, 0x00, 0x02, 0x00}));
    EXPECT_EQ(len, 2);
    ASSERT_EQ(reader->frames.size(), 2u);
}

TEST_F(ReaderOperationsTest, PowerOnIgnoresTheSelectResult) {
    setEchoMode(true);
    reader->echo = true;
    port->failAt(Op::Write, 1, 31);  // the select transaction fails at once
    reader->reply(0x07, 0x00, 0x00);
    EXPECT_EQ(QXPOWERON(handle, 1, 5, nullptr, nullptr, nullptr, nullptr), 0x07);
    EXPECT_EQ(port->sent(), (Bytes{0x20, 0x00, 0x80, 0x01, 0x05, 0x00}));
}

TEST_F(ReaderOperationsTest, ModemLineQueries) {
    struct Case {
        uint32_t lines;
        bool unreadable;
        uint32_t unit;
        int32_t ifd, inserted, powered;
    };
    const Case cases[] = {
        {0x00, false, 0, 0x00, 0, 0},     {0x20, false, 0, 0x20, 1, 0},
        {0x20, false, 1, 0x20, 0, 0},  // only unit 0 has a presence line
        {0x20, false, 0x100, 0x20, 1, 0}, {0x20, false, 0x301, 0x20, 0, 0},  // the unit's low byte
        {0x80, false, 0, 0x80, 0, 1},     {0xF0, false, 0, 0xF0, 1, 1},
        {0xF0, true, 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "lines " << c.lines << " unit " << c.unit);
        port->setModemLines(c.lines);
        if (c.unreadable) port->failAt(Op::Modem, 1, 31);
        EXPECT_EQ(QXIFDSTATUS(handle), c.ifd);
        if (c.unreadable) port->failAt(Op::Modem, 1, 31);
        EXPECT_EQ(QXCARDINSERTED(handle, c.unit), c.inserted);
        if (c.unreadable) port->failAt(Op::Modem, 1, 31);
        EXPECT_EQ(QXREADERPOWERED(handle), c.powered);
    }
    EXPECT_TRUE(port->sent().empty());
}

TEST_F(ReaderOperationsTest, PlaceholdersAndEntryDoNothing) {
    EXPECT_EQ(QXSETPARAM(0, 0, 0), 0);
    EXPECT_EQ(QXSETPARAM(static_cast<uint32_t>(handle), 0xFFFFFFFF, 12345), 0);
    EXPECT_EQ(QXGETPARAM(0xFFFFFFFF, 7), 0);
    EXPECT_EQ(QXGETPARAM(static_cast<uint32_t>(handle), 0), 0);
    EXPECT_EQ(LibMain(0x400000, 1, 0, 0), 1);
    EXPECT_EQ(LibMain(0, 0, 0xFFFFFFFF, 0xFFFFFFFF), 1);
    EXPECT_TRUE(port->log().empty());
    EXPECT_FALSE(echoMode());
}

}  // namespace
}  // namespace kvr7x::test
