// The reader reset: the RTS pulse, the hunt for the answer, the
// identification and the echo-mode rule.
#include <gtest/gtest.h>

#include <cstring>

#include "driver_fixture.h"
#include "reader_reset.h"

namespace kvr7x::test {
namespace {

using ReaderResetTest = DriverTest;

TEST_F(ReaderResetTest, PulsesRtsAndReturnsTheIdentification) {
    const Bytes id = identification('5');
    reader->resetAnswer = resetAnswer(id, 0x44);
    uint8_t data[255] = {};
    int32_t len = 0;
    EXPECT_EQ(QXRESET(handle, &len, data), 0);
    EXPECT_EQ(len, static_cast<int32_t>(id.size()));
    EXPECT_EQ(Bytes(data, data + id.size()), id);
    const std::vector<std::string> steps{"purgeTx", "purgeRx", "rts 1",  "rts 0",
                                         "read 1",  "read 2",  "read 32"};
    EXPECT_EQ(port->log(), steps);
    EXPECT_TRUE(port->sent().empty());
    EXPECT_EQ(port->timeouts(), kBaseTimeouts);  // the reset keeps the port's time-outs
}

TEST_F(ReaderResetTest, NoiseBeforeTheAnswerIsDropped) {
    Bytes noisy{0x00, 0xFF, 0x13, 0x91, 0x09};
    const Bytes answer = resetAnswer(identification('3', 12));
    noisy.insert(noisy.end(), answer.begin(), answer.end());
    reader->resetAnswer = noisy;
    reader->resetGap = 2ms;
    uint8_t data[255] = {};
    int32_t len = 0;
    EXPECT_EQ(QXRESET(handle, &len, data), 0);
    EXPECT_EQ(len, 12);
    EXPECT_EQ(data[0], 'V');
    EXPECT_TRUE(echoMode());
}

TEST_F(ReaderResetTest, LineThatNeverStopsChatteringEndsTheHunt) {
    // A device that talks without pause (never a 110 ms gap, never 0x90)
    // must not hold the reset, and with it QXOPEN, for ever.  Ten seconds of
    // chatter at a byte per millisecond, then what looks like an answer.
    Bytes chatter(10000, 0x55);
    const Bytes answer = resetAnswer(identification('3'));
    reader->resetAnswer = chatter;
    reader->resetGap = 1ms;
    port->onRts = [answer, base = port->onRts](ScriptedPort &p, bool on) {
        base(p, on);
        if (!on) p.feed(answer, 10000ms);
    };
    uint8_t data[255] = {0xAB};
    int32_t len = -3;
    const auto t = port->clock().now();
    EXPECT_EQ(QXRESET(handle, &len, data), kNoAnswer);
    // 1025 bytes a millisecond apart end the hunt: the last one came 1024 ms
    // after the first, long before the answer.
    EXPECT_EQ(port->clock().now() - t, 1024ms);
    EXPECT_EQ(len, -3);
    EXPECT_EQ(data[0], 0xAB);
    EXPECT_FALSE(echoMode());
}

TEST_F(ReaderResetTest, NoiseUpToAFrameBufferBeforeTheAnswerIsStillDropped) {
    Bytes noisy(1000, 0x33);
    const Bytes answer = resetAnswer(identification('3'));
    noisy.insert(noisy.end(), answer.begin(), answer.end());
    reader->resetAnswer = noisy;
    int32_t len = 0;
    EXPECT_EQ(QXRESET(handle, &len, nullptr), 0);
    EXPECT_EQ(len, 32);
    EXPECT_TRUE(echoMode());
}

TEST_F(ReaderResetTest, AnswerWithoutIdentificationReturnsAtOnce) {
    setEchoMode(true);
    reader->resetAnswer = {0x90, 0x00, 0x00};
    uint8_t data[4] = {1, 2, 3, 4};
    int32_t len = 77;
    EXPECT_EQ(QXRESET(handle, &len, data), 0);
    EXPECT_EQ(len, 77);
    EXPECT_EQ(Bytes(data, data + 4), (Bytes{1, 2, 3, 4}));
    EXPECT_TRUE(echoMode());
    EXPECT_EQ(port->log().back(), "read 2");
}

TEST_F(ReaderResetTest, ShortOrFailingAnswersFailAndLeaveOutputs) {
    struct Case {
        const char *name;
        Bytes answer;
        std::function<void(ScriptedPort &)> fault;
        int32_t expected;
    };
    const Case cases[] = {
        {"silent", {}, nullptr, kNoAnswer},
        {"noise only", {0x01, 0x02, 0x03}, nullptr, kNoAnswer},
        {"nothing after the start byte", {0x90}, nullptr, kNoAnswer},
        {"no length byte", {0x90, 0x00}, nullptr, kNoAnswer},
        {"identification short", {0x90, 0x00, 0x10, 'V', 'E', 'X', 'A'}, nullptr, kNoAnswer},
        {"raising RTS fails", resetAnswer(identification('3')),
         [](ScriptedPort &p) { p.failAt(Op::SetRts, 1, 1); }, errorOf(1)},
        {"lowering RTS fails", resetAnswer(identification('3')),
         [](ScriptedPort &p) { p.failAt(Op::SetRts, 2, 5); }, errorOf(5)},
        {"line fails during the hunt", resetAnswer(identification('3')),
         [](ScriptedPort &p) { p.failAt(Op::Read, 1, 31); }, errorOf(31)},
        {"line fails in the identification", resetAnswer(identification('3')),
         [](ScriptedPort &p) { p.failAt(Op::Read, 3, 995); }, errorOf(995)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        setEchoMode(false);
        reader->resetAnswer = c.answer;
        if (c.fault) c.fault(*port);
        uint8_t data[255] = {0xAB};
        int32_t len = -3;
        EXPECT_EQ(QXRESET(handle, &len, data), c.expected);
        EXPECT_EQ(len, -3);
        EXPECT_EQ(data[0], 0xAB);
        EXPECT_FALSE(echoMode());
    }
}

TEST_F(ReaderResetTest, NullOutputsAreAllowed) {
    reader->resetAnswer = resetAnswer(identification('3'));
    EXPECT_EQ(QXRESET(handle, nullptr, nullptr), 0);
    EXPECT_TRUE(echoMode());
}

TEST_F(ReaderResetTest, IdentificationSwitchesEchoMode) {
    auto id = [](const char *text) {
        return Bytes(reinterpret_cast<const uint8_t *>(text),
                     reinterpret_cast<const uint8_t *>(text) + std::strlen(text));
    };
    struct Case {
        const char *name;
        Bytes identification;
        bool before, after;
    };
    const Case cases[] = {
        {"VEXA family 3 turns echo on", identification('3'), false, true},
        {"VEXA family 3 keeps echo on", identification('3'), true, true},
        {"VEXA other family turns echo off", identification('5'), true, false},
        {"VEXA family 3 in exactly ten bytes",
         id("VEXA12345"
            "3"),
         false, true},
        {"VEXA too short for a family", id("VEXA1234"), true, false},
        {"other maker leaves echo on", id("ACME 1234 3"), true, true},
        {"other maker leaves echo off", id("ACME 1234 3"), false, false},
        {"lower case is another maker", id("vexa 1234 3"), false, false},
        {"three bytes leave echo", id("VEX"), true, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        setEchoMode(c.before);
        reader->resetAnswer = resetAnswer(c.identification);
        ASSERT_EQ(QXRESET(handle, nullptr, nullptr), 0);
        EXPECT_EQ(echoMode(), c.after);
    }
}

TEST_F(ReaderResetTest, StaleFrameBytesDoNotCountAsIdentification) {
    // A full VEXA family-3 identification leaves its bytes in the frame
    // buffer; a later short answer must not be judged by them.
    reader->resetAnswer = resetAnswer(identification('3'));
    ASSERT_EQ(QXRESET(handle, nullptr, nullptr), 0);
    ASSERT_TRUE(echoMode());
    reader->resetAnswer = resetAnswer({'V', 'E', 'X', 'A', '1'});
    ASSERT_EQ(QXRESET(handle, nullptr, nullptr), 0);
    EXPECT_FALSE(echoMode());
}

}  // namespace
}  // namespace kvr7x::test
