// The time-out arithmetic on a fixed start time: no clock involved.
#include <gtest/gtest.h>

#include "transfer_deadline.h"

namespace kvr7x {
namespace {

using std::chrono::milliseconds;
const DeadlineClock::time_point t0{};

struct ReadCase {
    const char *name;
    Timeouts t;
    size_t n;
    long totalMs;  // -1: no total limit
};

TEST(ReadDeadline, TotalLimitIsMultiplierTimesCountPlusConstant) {
    const ReadCase cases[] = {
        {"base one byte", {1000, 10, 100, 10, 100}, 1, 110},
        {"base reply header", {1000, 10, 100, 10, 100}, 4, 140},
        {"caller time-out", {1000, 10, 5000, 10, 100}, 4, 5040},
        {"constant only", {0, 0, 250, 0, 0}, 9, 250},
        {"multiplier only", {0, 7, 0, 0, 0}, 3, 21},
        {"no limit", {0, 0, 0, 0, 0}, 100, -1},
        {"large values",
         {0, 0xFFFFFFFE, 0xFFFFFFFE, 0, 0},
         256,
         static_cast<long>(0xFFFFFFFEull * 257)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const ReadDeadline dl(c.t, c.n, t0);
        if (c.totalMs < 0) {
            EXPECT_FALSE(dl.expiry().has_value());
            EXPECT_EQ(dl.waitMs(t0), -1);
        } else {
            ASSERT_TRUE(dl.expiry().has_value());
            EXPECT_EQ(*dl.expiry() - t0, milliseconds(c.totalMs));
            EXPECT_FALSE(dl.expired(t0 + milliseconds(c.totalMs - 1)));
            EXPECT_TRUE(dl.expired(t0 + milliseconds(c.totalMs)));
        }
    }
}

TEST(ReadDeadline, GapLimitStartsWithTheFirstByteAndFollowsEachByte) {
    ReadDeadline dl({50, 0, 1000, 0, 0}, 10, t0);
    EXPECT_EQ(*dl.expiry() - t0, milliseconds(1000));  // no gap before a byte
    dl.bytesArrived(t0 + milliseconds(200));
    EXPECT_EQ(*dl.expiry() - t0, milliseconds(250));
    EXPECT_FALSE(dl.expired(t0 + milliseconds(249)));
    dl.bytesArrived(t0 + milliseconds(240));
    EXPECT_EQ(*dl.expiry() - t0, milliseconds(290));
    dl.bytesArrived(t0 + milliseconds(980));
    EXPECT_EQ(*dl.expiry() - t0, milliseconds(1000));  // the total limit is sooner
}

TEST(ReadDeadline, GapLimitAloneWaitsForeverForTheFirstByte) {
    ReadDeadline dl({30, 0, 0, 0, 0}, 4, t0);
    EXPECT_FALSE(dl.expiry().has_value());
    EXPECT_FALSE(dl.expired(t0 + milliseconds(100000)));
    dl.bytesArrived(t0 + milliseconds(5));
    EXPECT_TRUE(dl.expired(t0 + milliseconds(35)));
}

TEST(ReadDeadline, SpecialIntervalValues) {
    const ReadDeadline atOnce({kTimeoutMax, 0, 0, 0, 0}, 8, t0);
    EXPECT_TRUE(atOnce.returnAtOnce());
    EXPECT_TRUE(atOnce.expired(t0));
    EXPECT_EQ(atOnce.waitMs(t0), 0);

    ReadDeadline first({kTimeoutMax, kTimeoutMax, 300, 0, 0}, 8, t0);
    EXPECT_TRUE(first.endsOnFirstByte());
    EXPECT_FALSE(first.expired(t0 + milliseconds(10)));
    EXPECT_EQ(*first.expiry() - t0, milliseconds(300));  // not 300 + n * max
    first.bytesArrived(t0 + milliseconds(10));
    EXPECT_TRUE(first.expired(t0 + milliseconds(10)));
}

TEST(ReadDeadline, WaitIsRoundedUpSoAPollNeverWakesEarly) {
    const ReadDeadline dl({0, 0, 100, 0, 0}, 1, t0);
    EXPECT_EQ(dl.waitMs(t0 + std::chrono::microseconds(99500)), 1);
    EXPECT_EQ(dl.waitMs(t0 + milliseconds(40)), 60);
    EXPECT_EQ(dl.waitMs(t0 + milliseconds(150)), 0);
}

TEST(WriteDeadline, TotalLimitAndNoLimit) {
    const WriteDeadline dl({0, 0, 0, 10, 100}, 6, t0);
    EXPECT_EQ(*dl.expiry() - t0, milliseconds(160));
    EXPECT_FALSE(dl.expired(t0 + milliseconds(159)));
    EXPECT_TRUE(dl.expired(t0 + milliseconds(160)));
    const WriteDeadline none({1000, 10, 100, 0, 0}, 6, t0);
    EXPECT_FALSE(none.expiry().has_value());
    EXPECT_EQ(none.waitMs(t0), -1);
}

TEST(WireTime, CharactersTakeStartDataParityAndStopBits) {
    struct Case {
        const char *name;
        uint32_t baud;
        uint8_t bits;
        Parity parity;
        StopBits stop;
        size_t n;
        long long ns;
    };
    const Case cases[] = {
        {"reader line, one byte", 9600, 8, Parity::None, StopBits::One, 1, 1'041'666},
        {"reader line, header and 256-byte block", 9600, 8, Parity::None, StopBits::One, 262,
         272'916'666},
        {"even parity, two stop bits", 9600, 8, Parity::Even, StopBits::Two, 3, 3'750'000},
        {"7 bits, one and a half stop bits", 1200, 7, Parity::None, StopBits::OneAndHalf, 2,
         15'833'333},
        {"nothing written", 9600, 8, Parity::None, StopBits::One, 0, 0},
        {"no baud rate", 0, 8, Parity::None, StopBits::One, 10, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        LineSettings line;
        line.baudRate = c.baud;
        line.byteSize = c.bits;
        line.parity = c.parity;
        line.stopBits = c.stop;
        EXPECT_EQ(wireTime(line, c.n).count(), c.ns);
    }
}

}  // namespace
}  // namespace kvr7x
