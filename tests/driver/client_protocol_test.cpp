// The client's protocol state without a socket, fed byte streams directly.
#include <gtest/gtest.h>

#include <vector>

#include "rfc2217/client_protocol.h"
#include "telnet/telnet_codec.h"

using namespace kvr7x::rfc2217;
using namespace kvr7x::telnet;
using Bytes = std::vector<uint8_t>;

TEST(ClientProtocol, AnswersNegotiationOnceAndRefusesUnknownOptions) {
    ClientProtocol proto;
    Bytes greeting;
    proto.appendGreeting(greeting);
    EXPECT_EQ(greeting,
              (Bytes{kIac, kWill, 44, kIac, kWill, 0, kIac, kWill, 3, kIac, kDo, 0, kIac, kDo, 3}));
    EXPECT_FALSE(proto.comPortAnswered());

    struct Step {
        Bytes in;
        Bytes reply;
    };
    const std::vector<Step> steps = {
        {{kIac, kDo, 44}, {}},                 // accepted what we offered: no answer
        {{kIac, kWill, 0}, {}},                // agreed to what we asked
        {{kIac, kDo, 24}, {kIac, kWont, 24}},  // terminal type: refused
        {{kIac, kDo, 24}, {}},                 // ... once only
        {{kIac, kWill, 1}, {kIac, kDont, 1}},  // echo: refused
        {{kIac, kWont, 0}, {kIac, kDont, 0}},  // server stops binary: confirmed
        {{kIac, kWont, 0}, {}},                // no loop
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(i);
        Bytes data, reply;
        proto.receive(steps[i].in.data(), steps[i].in.size(), data, reply);
        EXPECT_TRUE(data.empty());
        EXPECT_EQ(reply, steps[i].reply);
    }
    EXPECT_TRUE(proto.comPortAnswered());
    EXPECT_TRUE(proto.comPortAccepted());
}

TEST(ClientProtocol, FollowsModemStateAndCountsDsrChanges) {
    ClientProtocol proto;
    EXPECT_FALSE(proto.modemState().has_value());
    auto notify = [&](uint8_t state) {
        Bytes in = {kIac, kSb, 44, 107, state, kIac, kSe}, data, reply;
        proto.receive(in.data(), in.size(), data, reply);
    };
    notify(0xB0);  // the first report: how the lines stand, no change
    EXPECT_EQ(proto.dsrChanges(), 0u);
    notify(0x80);  // DSR off
    EXPECT_EQ(proto.dsrChanges(), 1u);
    notify(0x80);  // the same again
    EXPECT_EQ(proto.modemState(), 0x80);
    EXPECT_EQ(proto.dsrChanges(), 1u);
    notify(0xA2);  // DSR on
    EXPECT_EQ(proto.dsrChanges(), 2u);
    notify(0xA0);  // same level, no delta
    EXPECT_EQ(proto.dsrChanges(), 2u);
    notify(0xA2);  // same level but the server saw it toggle
    EXPECT_EQ(proto.dsrChanges(), 3u);
    notify(0x82);  // off
    EXPECT_EQ(proto.dsrChanges(), 4u);
    EXPECT_EQ(proto.modemState(), 0x82);

    // A notification of the wrong length is ignored, not half-applied.
    Bytes bad = {kIac, kSb, 44, 107, 0x20, 0x20, kIac, kSe}, data, reply;
    proto.receive(bad.data(), bad.size(), data, reply);
    EXPECT_EQ(proto.modemState(), 0x82);
    EXPECT_GT(proto.malformedCount(), 0u);
}
