// The command transaction over a scripted reader: wire bytes, echo mode,
// every step's failure, and the time-outs the port is left with.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <thread>

#include "driver_fixture.h"

namespace kvr7x::test {
namespace {

using TransactionTest = DriverTest;

TEST_F(TransactionTest, SendsHeaderAndReturnsTheReply) {
    reader->reply(0x00, 0x90, 0x01, {0xAA, 0xBB, 0xCC});
    uint8_t data[255] = {};
    uint8_t sw1 = 0, sw2 = 0;
    int32_t len = -1;
    const int32_t r =
        QXSENDCOMMAND(handle, 0x20, 0x00, 0x10, 0x00, 0x00, 0x00, data, &sw1, &sw2, &len, 1000);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(sw1, 0x90);
    EXPECT_EQ(sw2, 0x01);
    EXPECT_EQ(len, 3);
    EXPECT_EQ(Bytes(data, data + 3), (Bytes{0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(port->sent(), (Bytes{0x20, 0x00, 0x10, 0x00, 0x00, 0x00}));
    const std::vector<std::string> steps{"purgeTx",     "purgeRx",          "write 6",
                                         "getTimeouts", "setTimeouts 1000", "read 4",
                                         "read 3",      "setTimeouts 100"};
    EXPECT_EQ(port->log(), steps);
    EXPECT_EQ(port->timeouts(), kBaseTimeouts);
}

TEST_F(TransactionTest, DataBlockFollowsTheHeaderOnlyWhenBit7IsSet) {
    struct Case {
        uint32_t code, p3;
        size_t expectSent;
    };
    const Case cases[] = {{0xA1, 5, 11}, {0xA1, 0, 262}, {0x21, 5, 6}, {0x80, 255, 261}};
    Bytes block(256);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << c.code << " p3 " << c.p3);
        port->clearSent();
        reader->reply(0x00, 0x90, 0x00);
        Bytes data = block;
        EXPECT_EQ(QXSENDCOMMAND(handle, c.code, 0, 0xA4, 0, 0, c.p3, data.data(), nullptr, nullptr,
                                nullptr, 1000),
                  0);
        const Bytes sent = port->sent();
        ASSERT_EQ(sent.size(), c.expectSent);
        EXPECT_EQ(sent[5], static_cast<uint8_t>(c.p3));  // P3 goes out unchanged
        EXPECT_TRUE(std::equal(sent.begin() + 6, sent.end(), block.begin()));
    }
}

TEST_F(TransactionTest, HeaderAndDataBlockGoInOneWriteWhenTheReaderDoesNotEcho) {
    reader->reply(0x00, 0x90, 0x00);
    uint8_t data[255] = {0x3F, 0x00, 0x11};
    EXPECT_EQ(
        QXSENDCOMMAND(handle, 0xA1, 0, 0xA4, 0, 0x0C, 3, data, nullptr, nullptr, nullptr, 1000), 0);
    EXPECT_EQ(port->sent(), (Bytes{0xA1, 0x00, 0xA4, 0x00, 0x0C, 0x03, 0x3F, 0x00, 0x11}));
    const std::vector<std::string> steps{"purgeTx",        "purgeRx",          "write 9",
                                         "getTimeouts",    "setTimeouts 1000", "read 4",
                                         "setTimeouts 100"};
    EXPECT_EQ(port->log(), steps);
    ASSERT_EQ(reader->frames.size(), 1u);
    EXPECT_EQ(reader->frames[0], port->sent());
}

TEST_F(TransactionTest, ByteArgumentsUseTheirLowByteAndStatIsReturnedUnchanged) {
    reader->reply(0xFE, 0x6A, 0x82);
    uint8_t sw1 = 0, sw2 = 0;
    EXPECT_EQ(QXSENDCOMMAND(handle, 0x120, 0xF00, 0x1234, 0xFFFF01, 0x102, 0x7700, nullptr, &sw1,
                            &sw2, nullptr, 1000),
              0xFE);
    EXPECT_EQ(port->sent(), (Bytes{0x20, 0x00, 0x34, 0x01, 0x02, 0x00}));
    EXPECT_EQ(sw1, 0x6A);
    EXPECT_EQ(sw2, 0x82);
}

TEST_F(TransactionTest, ReplyWithoutDataLeavesTheBufferAndGivesLengthZero) {
    reader->reply(0x01, 0x00, 0x00);
    uint8_t data[4] = {7, 7, 7, 7};
    int32_t len = 99;
    EXPECT_EQ(QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, data, nullptr, nullptr, &len, 1000), 1);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(Bytes(data, data + 4), (Bytes{7, 7, 7, 7}));
}

TEST_F(TransactionTest, NullBufferDropsReplyData) {
    reader->reply(0x00, 0x90, 0x00, Bytes(200, 0x5A));
    int32_t len = 0;
    EXPECT_EQ(
        QXSENDCOMMAND(handle, 0x21, 0, 0xB0, 0, 0, 200, nullptr, nullptr, nullptr, &len, 1000), 0);
    EXPECT_EQ(len, 200);
    EXPECT_EQ(port->pendingInput(), 0u);  // read off the line all the same
}

TEST_F(TransactionTest, NullBufferWhereADataBlockIsDueSendsNothing) {
    int32_t len = 5;
    EXPECT_EQ(QXSENDCOMMAND(handle, 0xA1, 0, 0xD6, 0, 0, 4, nullptr, nullptr, nullptr, &len, 1000),
              errorOf(kErrInvalidParameter));
    EXPECT_TRUE(port->sent().empty());
    EXPECT_TRUE(port->log().empty());
    EXPECT_EQ(len, 5);
}

TEST_F(TransactionTest, EchoModeReadsBackHeaderAndDataBeforeTheReply) {
    setEchoMode(true);
    reader->echo = true;
    reader->reply(0x00, 0x90, 0x00, {0x11});
    uint8_t data[255] = {1, 2, 3};
    int32_t len = 0;
    EXPECT_EQ(QXSENDCOMMAND(handle, 0xA1, 0, 0xD6, 0, 0, 3, data, nullptr, nullptr, &len, 1000), 0);
    EXPECT_EQ(len, 1);
    EXPECT_EQ(data[0], 0x11);
    const std::vector<std::string> steps{"purgeTx", "purgeRx", "write 6",        "read 6",
                                         "write 3", "read 3",  "getTimeouts",    "setTimeouts 1000",
                                         "read 4",  "read 1",  "setTimeouts 100"};
    EXPECT_EQ(port->log(), steps);
}

TEST_F(TransactionTest, EchoThatDiffersFromWhatWasSentIsAccepted) {
    setEchoMode(true);
    port->onWrite = [](ScriptedPort &p, const Bytes &b) {
        p.feed(Bytes(b.size(), 0xEE));
        if (b.size() == 6) p.feed({0x42, 0x90, 0x00, 0x00}, 5ms);
    };
    EXPECT_EQ(
        QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 1000),
        0x42);
}

TEST_F(TransactionTest, ReplyAfterTheTimeOutIsDiscardedByTheNextCall) {
    reader->reply(0x77, 0x00, 0x00, {}, 80ms);
    EXPECT_EQ(QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 20),
              kNoAnswer);
    port->clock().advance(120ms);  // the late reply is now in the queue
    reader->reply(0x05, 0x00, 0x00);
    EXPECT_EQ(
        QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 1000),
        0x05);
}

// The next call begins the moment its predecessor has timed out, and the
// late reply (or whatever else) comes while it is under way.  It drains the
// line before it sends, so it always gets its own reply; what the drain
// costs is exact on the port's simulated clock.
TEST_F(TransactionTest, WhatComesAfterATimeOutIsDrainedBeforeTheNextCallSends) {
    struct Row {
        const char *name;
        bool lateReply;                   // the timed-out command's reply comes 20 ms late
        size_t chatter;                   // or bytes that keep coming, 40 ms apart from 40 ms on
        std::chrono::milliseconds drain;  // what the next call spends before it sends
        std::chrono::milliseconds replyDelay;  // the next call's reply after its header
    };
    const Row rows[] = {
        {"a reply 20 ms late is drained, then the line is quiet", true, 0, 2 * kSettleQuiet, 30ms},
        {"a line that stays silent costs one quiet interval", false, 0, kSettleQuiet, 30ms},
        {"chatter just inside the quiet interval ends the drain at its limit", false, 200,
         kSettleQuiet + kSettleLimit, 0ms},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        // 4 bytes under a 20 ms time-out: the read gives up after 60 ms.
        if (row.lateReply) reader->reply(0x77, 0x90, 0x00, {}, 80ms);
        EXPECT_EQ(
            QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 20),
            kNoAnswer);
        if (row.chatter > 0) port->feed(Bytes(row.chatter, 0x90), 40ms, 40ms);
        reader->reply(0x05, 0x6A, 0x82, {}, row.replyDelay);
        port->clearSent();
        const auto before = port->clock().now();
        uint8_t sw1 = 0, sw2 = 0;
        EXPECT_EQ(QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, &sw1, &sw2, nullptr, 1000),
                  0x05);
        EXPECT_EQ(sw1, 0x6A);
        EXPECT_EQ(sw2, 0x82);
        EXPECT_EQ(port->clock().now() - before, row.drain + row.replyDelay);
        EXPECT_EQ(port->timeouts(), kBaseTimeouts);
        if (row.chatter > 0) {
            // The rest of the chatter is not this test's business.
            port->clock().advance(row.chatter * 40ms);
            ASSERT_TRUE(port->purgeRx());
            continue;
        }
        // In step again: the call after sends at once.
        reader->reply(0x06, 0x90, 0x00);
        port->clearSent();
        const auto again = port->clock().now();
        EXPECT_EQ(
            QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 1000),
            0x06);
        EXPECT_EQ(port->clock().now() - again, 0ms);
        EXPECT_EQ(port->log().front(), "purgeTx");
    }
}

// Every step's failure: the error result, untouched outputs, and the
// time-outs the port is left with.
struct StepFailure {
    const char *name;
    std::function<void(ScriptedPort &, ScriptedReader &)> arrange;
    bool echo;
    int32_t expected;
    bool replyDataDelivered;
    bool timeoutsRestored;
};

// Named by its sentence in test output, not by the bytes of the object.
void PrintTo(const StepFailure &f, std::ostream *os) { *os << f.name; }

class TransactionFailureTest : public DriverTest,
                               public testing::WithParamInterface<StepFailure> {};

TEST_P(TransactionFailureTest, FailsWithTheStepsCodeAndLeavesOutputs) {
    const StepFailure &f = GetParam();
    setEchoMode(f.echo);
    f.arrange(*port, *reader);
    uint8_t data[255] = {0x01, 0x02, 0x03, 0x04, 0x05};
    uint8_t sw1 = 0xC1, sw2 = 0xC2;
    int32_t len = -7;
    const int32_t r =
        QXSENDCOMMAND(handle, 0xA1, 0x00, 0xD6, 0x00, 0x00, 10, data, &sw1, &sw2, &len, 60);
    EXPECT_EQ(r, f.expected);
    EXPECT_EQ(sw1, 0xC1);
    EXPECT_EQ(sw2, 0xC2);
    EXPECT_EQ(len, -7);
    EXPECT_EQ(data[0], f.replyDataDelivered ? 0xD0 : 0x01);
    if (f.timeoutsRestored) {
        EXPECT_EQ(port->timeouts(), kBaseTimeouts);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, TransactionFailureTest,
    testing::Values(
        StepFailure{"header write fails",
                    [](ScriptedPort &p, ScriptedReader &) { p.failAt(Op::Write, 1, 5); }, false,
                    errorOf(5), false, true},
        StepFailure{"header written short",
                    [](ScriptedPort &p, ScriptedReader &) { p.limitWrites(3); }, false, kNoAnswer,
                    false, true},
        StepFailure{"header echo missing", [](ScriptedPort &, ScriptedReader &) {}, true, kNoAnswer,
                    false, true},
        StepFailure{"header echo read fails",
                    [](ScriptedPort &p, ScriptedReader &) { p.failAt(Op::Read, 1, 31); }, true,
                    errorOf(31), false, true},
        // Only a reader that echoes gets the data block in a write of its own.
        StepFailure{"data block fails",
                    [](ScriptedPort &p, ScriptedReader &r) {
                        r.echo = true;
                        p.failAt(Op::Write, 2, 1117);
                    },
                    true, errorOf(1117), false, true},
        StepFailure{"data block written short",
                    [](ScriptedPort &p, ScriptedReader &) { p.limitWrites(8); }, false, kNoAnswer,
                    false, true},
        StepFailure{"data echo short",
                    [](ScriptedPort &p, ScriptedReader &) {
                        p.onWrite = [](ScriptedPort &q, const Bytes &b) {
                            q.feed(b.size() == 6 ? b : Bytes{b[0], b[1]});
                        };
                    },
                    true, kNoAnswer, false, true},
        StepFailure{"time-outs cannot be read",
                    [](ScriptedPort &p, ScriptedReader &r) {
                        r.reply(0, 0x90, 0, {0xD0});
                        p.failAt(Op::GetTimeouts, 1, 6);
                    },
                    false, errorOf(6), false, true},
        StepFailure{"reply time-out cannot be applied",
                    [](ScriptedPort &p, ScriptedReader &r) {
                        r.reply(0, 0x90, 0, {0xD0});
                        p.failAt(Op::SetTimeouts, 1, 87);
                    },
                    false, errorOf(87), false, true},
        StepFailure{"no reply", [](ScriptedPort &, ScriptedReader &) {}, false, kNoAnswer, false,
                    true},
        StepFailure{"reply header read fails",
                    [](ScriptedPort &p, ScriptedReader &r) {
                        r.reply(0, 0x90, 0, {0xD0});
                        p.failAt(Op::Read, 1, 31);
                    },
                    false, errorOf(31), false, true},
        StepFailure{"reply data short",
                    [](ScriptedPort &, ScriptedReader &r) {
                        r.replies.push_back({{0x00, 0x90, 0x00, 0x05, 0xD0, 0xD1}, 0ms});
                    },
                    false, kNoAnswer, false, true},
        StepFailure{"saved time-outs cannot be applied again",
                    [](ScriptedPort &p, ScriptedReader &r) {
                        r.reply(0, 0x90, 0, {0xD0});
                        p.failAt(Op::SetTimeouts, 2, 5);
                    },
                    false, errorOf(5), true, false}),
    [](const testing::TestParamInfo<StepFailure> &info) {
        std::string n = info.param.name;
        for (char &c : n)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        return n;
    });

TEST_F(TransactionTest, FailedReplyRestoresTheTimeOutsItEnteredWith) {
    const Timeouts odd{500, 3, 77, 4, 90};
    port->setTimeouts(odd);
    EXPECT_EQ(QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 30),
              kNoAnswer);
    EXPECT_EQ(port->timeouts(), odd);
    const auto log = port->log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "read 4");
    EXPECT_EQ(log.back(), "setTimeouts 77");
}

TEST_F(TransactionTest, WorkingTimeOutsNotAppliedAreNotRestored) {
    port->failAt(Op::SetTimeouts, 1, 87);
    QXSENDCOMMAND(handle, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 30);
    const auto log = port->log();
    EXPECT_EQ(log.back(), "setTimeouts 30");
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string &s) { return s.rfind("setTimeouts", 0) == 0; }),
              1);
}

TEST_F(TransactionTest, HandlesThatNameNoOpenPortGiveBadHandle) {
    const int32_t closed = registerPort(std::make_shared<ScriptedPort>());
    ASSERT_GE(closed, 0);
    ASSERT_TRUE(closePort(closed));
    uint8_t buf[255] = {};
    for (int32_t h : {-1, -2147483647 - 1, 64, 1000, closed}) {
        SCOPED_TRACE(h);
        EXPECT_EQ(QXSENDCOMMAND(h, 0x20, 0, 0x10, 0, 0, 0, buf, nullptr, nullptr, nullptr, 10),
                  KVR7X_BAD_HANDLE);
        EXPECT_EQ(QXICCSTATUS(h, 0), KVR7X_BAD_HANDLE);
        EXPECT_EQ(QXINSERT(h, 0, 10), KVR7X_BAD_HANDLE);
        EXPECT_EQ(QXREMOVE(h, 0, 10), KVR7X_BAD_HANDLE);
        EXPECT_EQ(QXISOIN(h, 0, 0, 0xA4, 4, 0, 2, buf, nullptr, nullptr, 10), KVR7X_BAD_HANDLE);
        EXPECT_EQ(QXISOOUT(h, 0, 0, 0xB0, 0, 0, 2, buf, nullptr, nullptr, 10), KVR7X_BAD_HANDLE);
        EXPECT_EQ(QXPOWERON(h, 0, 2, nullptr, buf, nullptr, nullptr), KVR7X_BAD_HANDLE);
        EXPECT_EQ(QXPOWEROFF(h, 0), KVR7X_BAD_HANDLE);
        EXPECT_EQ(QXRESET(h, nullptr, buf), KVR7X_BAD_HANDLE);
        EXPECT_EQ(QXIFDSTATUS(h), 0);
        EXPECT_EQ(QXCARDINSERTED(h, 0), 0);
        EXPECT_EQ(QXREADERPOWERED(h), 0);
        EXPECT_EQ(QXCLOSE(h), 0);
    }
}

}  // namespace
}  // namespace kvr7x::test
