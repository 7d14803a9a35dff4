// Time-outs as a caller sees them, measured with tolerances.
#include <gtest/gtest.h>

#include "driver_fixture.h"

namespace kvr7x::test {
namespace {

using Clock = std::chrono::steady_clock;
using TimingTest = DriverTest;

long msSince(Clock::time_point t) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

TEST_F(TimingTest, SilentReaderResetTakesPulsePlusOneByteWait) {
    for (int i = 0; i < 2; ++i) {
        const auto t = Clock::now();
        EXPECT_EQ(QXRESET(handle, nullptr, nullptr), kNoAnswer);
        const long ms = msSince(t);
        EXPECT_GE(ms, 118);
        EXPECT_LT(ms, 320);
    }
}

TEST_F(TimingTest, NoiseKeepsTheHuntGoingWhileItKeepsComing) {
    // six noise bytes 80 ms apart (under the 110 ms single-byte wait), then
    // the answer
    port->onRts = [](ScriptedPort &p, bool on) {
        if (on) return;
        p.feed(Bytes(6, 0x55), 0ms, 80ms);
        p.feed(resetAnswer(identification('5', 10)), 6 * 80ms);
    };
    int32_t len = 0;
    auto t = Clock::now();
    EXPECT_EQ(QXRESET(handle, &len, nullptr), 0);
    EXPECT_GE(msSince(t), 6 * 80);
    EXPECT_EQ(len, 10);

    reader = std::make_unique<ScriptedReader>(*port);
    reader->resetAnswer = {0x55, 0x90, 0x00, 0x00};
    reader->resetGap = 130ms;  // one gap too long ends the hunt
    t = Clock::now();
    EXPECT_EQ(QXRESET(handle, nullptr, nullptr), kNoAnswer);
    EXPECT_LT(msSince(t), 250);
}

TEST_F(TimingTest, ReplyTimeOutIsCallersTimeOutPlusTenPerHeaderByte) {
    const auto t = Clock::now();
    EXPECT_EQ(
        QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 1000),
        kNoAnswer);
    const long ms = msSince(t);
    EXPECT_GE(ms, 1040);
    EXPECT_LT(ms, 1200);
    EXPECT_EQ(port->timeouts(), kBaseTimeouts);
}

TEST_F(TimingTest, ReplyJustInsideTheTimeOutIsTaken) {
    reader->reply(0x00, 0x90, 0x00, {}, 150ms);
    EXPECT_EQ(
        QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 200), 0);
    reader->reply(0x00, 0x90, 0x00, {}, 300ms);
    EXPECT_EQ(
        QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 200),
        kNoAnswer);
}

TEST_F(TimingTest, StatusRequestToASilentReaderTakesFiveSeconds) {
    const auto t = Clock::now();
    EXPECT_EQ(QXICCSTATUS(handle, 0), kNoAnswer);
    const long ms = msSince(t);
    EXPECT_GE(ms, 5040);
    EXPECT_LT(ms, 5300);
}

TEST_F(TimingTest, MissingEchoFailsAfterTheHeaderEchoWait) {
    setEchoMode(true);
    const auto t = Clock::now();
    EXPECT_EQ(
        QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 1000),
        kNoAnswer);
    const long ms = msSince(t);
    EXPECT_GE(ms, 160);
    EXPECT_LT(ms, 320);
}

}  // namespace
}  // namespace kvr7x::test
