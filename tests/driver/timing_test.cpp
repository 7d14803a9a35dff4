// Time-outs as a caller sees them.  The rules are read off the scripted
// port's simulated clock, exactly; the last test runs a silent reader on the
// wall clock with wide bounds, to see the whole hold in real time.
#include <gtest/gtest.h>

#include "driver_fixture.h"

namespace kvr7x::test {
namespace {

using TimingTest = DriverTest;
using WallClock = std::chrono::steady_clock;

// Milliseconds the port's clock moved on since `t`.
std::chrono::milliseconds tookOn(const ScriptedPort &p, PortClock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(p.clock().now() - t);
}

long msSince(WallClock::time_point t) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(WallClock::now() - t).count());
}

// How long RTS stayed high in the last pulse, on the wall clock (the pulse is
// the library's own sleep, which no port clock sees).
struct PulseWatch {
    WallClock::time_point raised{}, lowered{};
    void attach(ScriptedPort &p) {
        p.onRts = [this, base = p.onRts](ScriptedPort &q, bool on) {
            (on ? raised : lowered) = WallClock::now();
            if (base) base(q, on);
        };
    }
    std::chrono::milliseconds length() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(lowered - raised);
    }
};

TEST_F(TimingTest, SilentReaderResetTakesPulsePlusOneByteWait) {
    PulseWatch pulse;
    pulse.attach(*port);
    for (int i = 0; i < 2; ++i) {
        const auto t = port->clock().now();
        EXPECT_EQ(QXRESET(handle, nullptr, nullptr), kNoAnswer);
        EXPECT_GE(pulse.length(), 10ms);
        // one byte under the base time-outs: 10 ms a byte plus 100; the
        // second follows a time-out and first waits for the line to be quiet
        EXPECT_EQ(tookOn(*port, t), 110ms + (i == 0 ? 0ms : kSettleQuiet));
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
    auto t = port->clock().now();
    EXPECT_EQ(QXRESET(handle, &len, nullptr), 0);
    EXPECT_EQ(tookOn(*port, t), 6 * 80ms);
    EXPECT_EQ(len, 10);

    reader = std::make_unique<ScriptedReader>(*port);
    reader->resetAnswer = {0x55, 0x90, 0x00, 0x00};
    reader->resetGap = 130ms;  // one gap too long ends the hunt
    t = port->clock().now();
    EXPECT_EQ(QXRESET(handle, nullptr, nullptr), kNoAnswer);
    EXPECT_EQ(tookOn(*port, t), 110ms) << "the hunt ends one single-byte wait after the noise";
}

TEST_F(TimingTest, ReplyTimeOutIsCallersTimeOutPlusTenPerHeaderByte) {
    const auto t = port->clock().now();
    EXPECT_EQ(
        QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 1000),
        kNoAnswer);
    EXPECT_EQ(tookOn(*port, t), 1040ms);
    EXPECT_EQ(port->timeouts(), kBaseTimeouts);
}

TEST_F(TimingTest, ReplyJustInsideTheTimeOutIsTaken) {
    // 200 ms from the caller and 4 * 10 for the header: 240 ms in all
    reader->reply(0x00, 0x90, 0x00, {}, 239ms);
    EXPECT_EQ(
        QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 200), 0);
    reader->reply(0x00, 0x90, 0x00, {}, 241ms);
    EXPECT_EQ(
        QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 200),
        kNoAnswer);
}

TEST_F(TimingTest, StatusRequestToASilentReaderTakesFiveSeconds) {
    const auto t = port->clock().now();
    EXPECT_EQ(QXICCSTATUS(handle, 0), kNoAnswer);
    EXPECT_EQ(tookOn(*port, t), 5040ms);
}

TEST_F(TimingTest, MissingEchoFailsAfterTheHeaderEchoWait) {
    setEchoMode(true);
    const auto t = port->clock().now();
    EXPECT_EQ(
        QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 1000),
        kNoAnswer);
    // six echo bytes: 6 * 10 + 100
    EXPECT_EQ(tookOn(*port, t), 160ms);
}

// The same rules on the wall clock, from the caller's side: never shorter
// than the rule, and well within two and a half times it on a busy machine.
TEST(TimingOnTheWallClock, SilentReaderHoldsTheCallerForTheRulesTime) {
    auto p = std::make_shared<ScriptedPort>(PortClock::real());
    ScriptedReader silent(*p);
    p->setTimeouts(kBaseTimeouts);
    const int32_t h = registerPort(p);
    ASSERT_GE(h, 0);
    setEchoMode(false);

    auto t = WallClock::now();
    EXPECT_EQ(QXRESET(h, nullptr, nullptr), kNoAnswer);
    long ms = msSince(t);
    EXPECT_GE(ms, 118);  // the 10 ms pulse and the 110 ms wait, to the millisecond
    EXPECT_LT(ms, 300);

    t = WallClock::now();
    EXPECT_EQ(QXSENDCOMMAND(h, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 1000),
              kNoAnswer);
    ms = msSince(t);
    EXPECT_GE(ms, 1040);
    EXPECT_LT(ms, 2600);
    EXPECT_TRUE(closePort(h));
}

}  // namespace
}  // namespace kvr7x::test
