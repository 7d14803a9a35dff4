// The telnet parser and encoders, fed byte streams directly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "telnet/telnet_codec.h"

using namespace kvr7x::telnet;
using Bytes = std::vector<uint8_t>;

namespace {

struct Parsed {
    Bytes data;
    std::vector<TelnetEvent> events;
};

Parsed parseInChunks(const Bytes &stream, size_t chunk) {
    TelnetParser parser;
    Parsed p;
    for (size_t i = 0; i < stream.size(); i += chunk) {
        const size_t n = std::min(chunk, stream.size() - i);
        parser.feed(stream.data() + i, n, p.data, p.events);
    }
    return p;
}

}  // namespace

TEST(TelnetParser, SeparatesDataFromCommandsWhateverTheChunking) {
    const Bytes stream = {0x01,        kIac, kIac, 0x02, kIac, kWill, kOptComPort, 0x03, kIac, kSb,
                          kOptComPort, 107,  0x20, kIac, kIac, kIac,  kSe,         0x04, kIac, 241 /*NOP*/};
    for (size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        SCOPED_TRACE(chunk);
        const Parsed p = parseInChunks(stream, chunk);
        EXPECT_EQ(p.data, (Bytes{0x01, 0xFF, 0x02, 0x03, 0x04}));
        ASSERT_EQ(p.events.size(), 3u);
        EXPECT_EQ(p.events[0].kind, TelnetEvent::Kind::Negotiation);
        EXPECT_EQ(p.events[0].verb, kWill);
        EXPECT_EQ(p.events[0].option, kOptComPort);
        EXPECT_EQ(p.events[1].kind, TelnetEvent::Kind::Subnegotiation);
        EXPECT_EQ(p.events[1].option, kOptComPort);
        EXPECT_EQ(p.events[1].payload, (Bytes{107, 0x20, 0xFF}));
        EXPECT_EQ(p.events[2].kind, TelnetEvent::Kind::Command);
        EXPECT_EQ(p.events[2].verb, 241);
    }
}

TEST(TelnetParser, HandsDataAndCommandsOverInStreamOrder) {
    // Records every call; adjacent data runs are joined, since where a run
    // is cut depends on the chunking only.
    struct Recorder final : TelnetSink {
        std::vector<std::string> seen;
        void onData(const uint8_t *bytes, size_t n) override {
            EXPECT_GT(n, 0u);
            if (seen.empty() || seen.back().rfind("data", 0) != 0) seen.emplace_back("data");
            for (size_t i = 0; i < n; ++i) seen.back().append(" ").append(std::to_string(bytes[i]));
        }
        void onCommand(const TelnetEvent &ev) override {
            std::string s = ev.kind == TelnetEvent::Kind::Negotiation      ? "neg"
                            : ev.kind == TelnetEvent::Kind::Subnegotiation ? "sb"
                                                                           : "cmd";
            s.append(" ").append(std::to_string(ev.verb)).append(" ").append(std::to_string(ev.option));
            for (uint8_t b : ev.payload) s.append(" ").append(std::to_string(b));
            seen.push_back(s);
        }
    };
    const Bytes stream = {0x01, 0x02, kIac,        kSb,        kOptComPort, kSetControl, kControlRtsOn, kIac, kSe,
                          0x03, kIac, kIac,        kIac,       kDo,         kOptBinary,  0x04,          kIac, 241,
                          kIac, kSb,  kOptComPort, kPurgeData, kPurgeBoth,  kIac,        kSe,           0x05, 0x06};
    const std::vector<std::string> expected = {"data 1 2", "sb 0 44 5 11", "data 3 255",   "neg 253 0",
                                               "data 4",   "cmd 241 0",    "sb 0 44 12 3", "data 5 6"};
    for (size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        SCOPED_TRACE(chunk);
        TelnetParser parser;
        Recorder rec;
        for (size_t i = 0; i < stream.size(); i += chunk)
            parser.feed(stream.data() + i, std::min(chunk, stream.size() - i), rec);
        EXPECT_EQ(rec.seen, expected);
        EXPECT_EQ(parser.malformedCount(), 0u);
    }
}

TEST(TelnetParser, SurvivesMalformedSequences) {
    struct Case {
        const char *name;
        Bytes stream;
        Bytes data;  // what must come out as data
    };
    const std::vector<Case> cases = {
        // IAC inside a subnegotiation followed by neither IAC nor SE: the
        // subnegotiation is dropped and the data after it still arrives.
        {"unterminated subnegotiation", {kIac, kSb, kOptComPort, 107, kIac, kWill, 1, 0x41}, {0x41}},
        // A subnegotiation far longer than any COM-PORT command.
        {"overlong subnegotiation",
         [] {
             Bytes b = {kIac, kSb, kOptComPort};
             b.insert(b.end(), 5000, 0x33);
             b.insert(b.end(), {kIac, kSe, 0x42});
             return b;
         }(),
         {0x42}},
        {"SE without SB", {0x10, kIac, kSe, 0x11}, {0x10, 0x11}},
        {"IAC then an ordinary byte", {kIac, 0x05, 0x43}, {0x43}},
        {"SB then IAC at once", {kIac, kSb, kIac, kIac, 0x44}, {0xFF, 0x44}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TelnetParser parser;
        Bytes data;
        std::vector<TelnetEvent> events;
        parser.feed(c.stream.data(), c.stream.size(), data, events);
        EXPECT_EQ(data, c.data);
        EXPECT_GT(parser.malformedCount(), 0u);
        for (const TelnetEvent &ev : events) EXPECT_LE(ev.payload.size(), TelnetParser::kMaxPayload);
    }
}

TEST(TelnetCodec, EncodesDataAndComPortCommandsWithIacDoubled) {
    Bytes out;
    const Bytes data = {0x00, 0xFF, 0x7F, 0xFF, 0xFF};
    appendEscaped(data.data(), data.size(), out);
    EXPECT_EQ(out, (Bytes{0x00, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF}));

    out.clear();
    const Bytes baud = {0x00, 0x00, 0x25, 0x80};
    appendComPort(kSetBaudRate, baud.data(), baud.size(), out);
    EXPECT_EQ(out, (Bytes{kIac, kSb, 44, 1, 0x00, 0x00, 0x25, 0x80, kIac, kSe}));

    // A value of 255 inside a command is doubled as well, and parses back.
    out.clear();
    appendComPort(kSetModemStateMask, 0xFF, out);
    EXPECT_EQ(out, (Bytes{kIac, kSb, 44, 11, 0xFF, 0xFF, kIac, kSe}));
    const Parsed p = parseInChunks(out, 3);
    ASSERT_EQ(p.events.size(), 1u);
    EXPECT_EQ(p.events[0].payload, (Bytes{11, 0xFF}));
}
