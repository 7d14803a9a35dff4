// The emulated reader on its own: frames in, emissions out.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "options.h"
#include "reader_model.h"
#include "rules.h"

using namespace kvr7x::emu;
using Bytes = std::vector<uint8_t>;
using Clock = ReaderModel::Clock;

namespace {

// Sends a frame and returns the bytes of its reply emission (empty if none).
Bytes exchange(ReaderModel &m, const Bytes &frame, Clock::time_point at = Clock::now()) {
    ModelOutput out;
    for (uint8_t b : frame) m.receive(b, at, out);
    for (const Emission &e : out.emissions)
        if (e.kind == Emission::Kind::Reply) return e.bytes;
    return {};
}

Bytes reset(ReaderModel &m) {
    ModelOutput out;
    m.setRts(true, out);
    EXPECT_TRUE(out.emissions.empty());  // nothing while RTS is high
    m.setRts(false, out);
    return out.emissions.empty() ? Bytes{} : out.emissions[0].bytes;
}

}  // namespace

TEST(ReaderModel, ReaderCommandsPerUnit) {
    ReaderModel m;  // card present, SAM 1 present, SAMs 2 and 3 empty
    struct Case {
        Bytes frame;
        uint8_t stat;
    };
    const std::vector<Case> cases = {
        {{0x20, 0x00, 0x10, 0x00, 0x00, 0x00}, kStatDone},    // status, card
        {{0x20, 0x00, 0x10, 0x01, 0x00, 0x00}, kStatDone},    // status, SAM 1
        {{0x20, 0x00, 0x10, 0x02, 0x00, 0x00}, kStatNoCard},  // status, SAM 2 empty
        {{0x20, 0x00, 0x10, 0x03, 0x00, 0x00}, kStatNoCard},  // status, SAM 3 empty
        {{0x20, 0x00, 0x10, 0x04, 0x00, 0x00}, kStatBadParameter},
        {{0x20, 0x00, 0x20, 0x00, 0x00, 0x00}, kStatDone},  // insert
        {{0x20, 0x00, 0x70, 0x00, 0x02, 0x00}, kStatDone},  // select QXP2K
        {{0x20, 0x00, 0x70, 0x00, 0x09, 0x00}, kStatCardUnsupported},
        {{0x21, 0x00, 0xB0, 0x00, 0x00, 0x04}, kStatCardNotPowered},  // ISO before activation
        {{0x22, 0x00, 0xB0, 0x00, 0x00, 0x04}, kStatCardNotPowered},
        {{0x23, 0x00, 0xB0, 0x00, 0x00, 0x04}, kStatNoCard},  // ISO to an empty SAM slot
        {{0x20, 0x00, 0x90, 0x02, 0x00, 0x00}, kStatNoCard},  // deactivate empty slot
        {{0x20, 0x00, 0x55, 0x00, 0x00, 0x00}, kStatUnknownCommand},
        {{0x30, 0x00, 0x00, 0x00, 0x00, 0x00}, kStatUnknownCommand},
        {{0xB0, 0x00, 0x00, 0x00, 0x00, 0x02, 0xAA, 0xBB}, kStatUnknownCommand},  // data still read
        {{0x20, 0x00, 0x30, 0x00, 0x00, 0x00}, kStatDone},                        // remove
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const Bytes reply = exchange(m, cases[i].frame);
        ASSERT_EQ(reply.size(), 4u);
        EXPECT_EQ(reply[0], cases[i].stat);
        EXPECT_EQ(reply[3], 0);  // LEN
    }
    m.setPresent(0, false);
    EXPECT_EQ(exchange(m, {0x20, 0x00, 0x10, 0x00, 0x00, 0x00})[0], kStatNoCard);
    EXPECT_EQ(exchange(m, {0x20, 0x00, 0x80, 0x00, 0x00, 0x00})[0], kStatNoCard);
}

TEST(ReaderModel, ActivationGivesTheAtrAndIsoCommandsReachTheCard) {
    ReaderModel m;
    const Bytes atr = exchange(m, {0x20, 0x00, 0x80, 0x00, 0x00, 0x00});
    ASSERT_GE(atr.size(), 4u);
    EXPECT_EQ(atr[0], kStatDone);
    EXPECT_EQ(atr[3], atr.size() - 4);
    EXPECT_EQ(Bytes(atr.begin() + 4, atr.end()), m.card(0).atr());

    // SELECT EF 0002 with a data block, then READ BINARY without.
    EXPECT_EQ(exchange(m, {0xA1, 0x00, 0xA4, 0x00, 0x0C, 0x02, 0x00, 0x02}), (Bytes{0x00, 0x90, 0x00, 0x00}));
    EXPECT_EQ(exchange(m, {0x21, 0x00, 0xB0, 0x00, 0x02, 0x03}), (Bytes{0x00, 0x90, 0x00, 0x03, 0x56, 0x78, 0x9A}));
    // SAM 1 answers on its own unit with its own ATR.
    const Bytes samAtr = exchange(m, {0x20, 0x00, 0x80, 0x01, 0x00, 0x00});
    EXPECT_EQ(Bytes(samAtr.begin() + 4, samAtr.end()), m.card(1).atr());
    EXPECT_NE(m.card(1).atr(), m.card(0).atr());
    EXPECT_EQ(exchange(m, {0xA2, 0x00, 0xA4, 0x00, 0x00, 0x02, 0x12, 0x34}), (Bytes{0x00, 0x6A, 0x82, 0x00}));
    // Deactivation ends ISO access again.
    EXPECT_EQ(exchange(m, {0x20, 0x00, 0x90, 0x00, 0x00, 0x00})[0], kStatDone);
    EXPECT_EQ(exchange(m, {0x21, 0x00, 0xB0, 0x00, 0x00, 0x01})[0], kStatCardNotPowered);
}

TEST(IsoCard, AnswersTheCommandsOfItsFileSystem) {
    IsoCard card;
    struct Case {
        const char *what;
        uint8_t cla, ins, p1, p2, p3;
        Bytes data;
        bool withData;
        uint8_t sw1, sw2;
        size_t replyLength;
    };
    const std::vector<Case> cases = {
        {"read before select", 0x00, 0xB0, 0x00, 0x00, 0x04, {}, false, 0x69, 0x86, 0},
        {"select MF", 0x00, 0xA4, 0x00, 0x00, 0x02, {0x3F, 0x00}, true, 0x61, 0x0D, 0},
        {"read a DF", 0x00, 0xB0, 0x00, 0x00, 0x04, {}, false, 0x69, 0x86, 0},
        {"select unknown", 0x00, 0xA4, 0x00, 0x00, 0x02, {0x4F, 0x4F}, true, 0x6A, 0x82, 0},
        {"select by unknown name", 0x00, 0xA4, 0x04, 0x00, 0x02, {0xA0, 0x00}, true, 0x6A, 0x82, 0},
        {"select by name", 0x00, 0xA4, 0x04, 0x0C, 0x03, {0xF0, 'K', 'V'}, true, 0x90, 0x00, 0},
        {"select an EF of the DF", 0x00, 0xA4, 0x02, 0x0C, 0x02, {0x6F, 0x01}, true, 0x90, 0x00, 0},
        {"select the parent", 0x00, 0xA4, 0x03, 0x0C, 0x00, {}, false, 0x90, 0x00, 0},
        {"select a DF as an EF", 0x00, 0xA4, 0x02, 0x0C, 0x02, {0x7F, 0x10}, true, 0x6A, 0x82, 0},
        {"select by path", 0x00, 0xA4, 0x08, 0x04, 0x04, {0x7F, 0x10, 0x6F, 0x01}, true, 0x61, 0x0D, 0},
        {"select by path through an EF", 0x00, 0xA4, 0x08, 0x0C, 0x04, {0x2F, 0x00, 0x6F, 0x01}, true, 0x6A, 0x82, 0},
        {"select, odd path", 0x00, 0xA4, 0x08, 0x0C, 0x03, {0x7F, 0x10, 0x6F}, true, 0x67, 0x00, 0},
        {"select, next occurrence", 0x00, 0xA4, 0x04, 0x02, 0x01, {0xF0}, true, 0x6A, 0x86, 0},
        {"select, wrong Lc", 0x00, 0xA4, 0x00, 0x00, 0x03, {0x6F, 0x01, 0x00}, true, 0x67, 0x00, 0},
        {"select 6F01 with FCI", 0x00, 0xA4, 0x00, 0x00, 0x02, {0x6F, 0x01}, true, 0x61, 0x0D, 0},
        {"get response, Le too long", 0x00, 0xC0, 0x00, 0x00, 0x20, {}, false, 0x6C, 0x0D, 0},
        {"get response, part", 0x00, 0xC0, 0x00, 0x00, 0x05, {}, false, 0x61, 0x08, 5},
        {"get response, rest", 0x00, 0xC0, 0x00, 0x00, 0x08, {}, false, 0x90, 0x00, 8},
        {"get response again", 0x00, 0xC0, 0x00, 0x00, 0x00, {}, false, 0x69, 0x85, 0},
        {"read at 256", 0x00, 0xB0, 0x01, 0x00, 0x10, {}, false, 0x90, 0x00, 16},
        {"read past the end", 0x00, 0xB0, 0x01, 0x20, 0x10, {}, false, 0x62, 0x82, 12},
        {"read beyond the file", 0x00, 0xB0, 0x01, 0x2D, 0x01, {}, false, 0x6B, 0x00, 0},
        {"read, Le 0", 0x00, 0xB0, 0x00, 0x00, 0x00, {}, false, 0x90, 0x00, 255},
        {"read by SFI", 0x00, 0xB0, 0x81, 0x00, 0x01, {}, false, 0x6A, 0x81, 0},
        {"challenge", 0x00, 0x84, 0x00, 0x00, 0x08, {}, false, 0x90, 0x00, 8},
        {"unknown instruction", 0x00, 0xCA, 0x00, 0x00, 0x00, {}, false, 0x6D, 0x00, 0},
        {"wrong class", 0x80, 0xB0, 0x00, 0x00, 0x01, {}, false, 0x6E, 0x00, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const CardResponse r = card.process(c.cla, c.ins, c.p1, c.p2, c.p3, c.data, c.withData);
        EXPECT_EQ(r.sw1, c.sw1);
        EXPECT_EQ(r.sw2, c.sw2);
        EXPECT_EQ(r.data.size(), c.replyLength);
    }
    // The data read is the file's: 6F01 counts up from 00.
    const CardResponse r = card.process(0, 0xB0, 0x01, 0x10, 0x03, {}, false);
    EXPECT_EQ(r.data, (Bytes{0x10, 0x11, 0x12}));

    // What a SELECT leaves for GET RESPONSE: the FCI (6F) or FCP (62) of
    // the file, with the DF name when it has one.
    const IsoCard::File &df = card.files()[3];
    ASSERT_FALSE(df.name.empty());
    EXPECT_EQ(card.process(0, 0xA4, 0x04, 0x00, 0x00, df.name, true).sw1, 0x61);
    const CardResponse fci = card.process(0, 0xC0, 0x00, 0x00, 0x00, {}, false);
    ASSERT_GE(fci.data.size(), 2 + df.name.size());
    EXPECT_EQ(fci.data[0], 0x6F);
    EXPECT_EQ(fci.data[1], fci.data.size() - 2);
    EXPECT_EQ(Bytes(fci.data.end() - static_cast<std::ptrdiff_t>(df.name.size()), fci.data.end()), df.name);
    EXPECT_EQ(card.process(0, 0xA4, 0x00, 0x04, 0x02, {0x00, 0x02}, true).sw1, 0x61);
    EXPECT_EQ(card.process(0, 0xC0, 0x00, 0x00, 0x00, {}, false).data[0], 0x62);
}

TEST(ReaderModel, ResetAnswerCarriesNoiseAndIdentification) {
    ReaderModel m;
    m.setNoise({0x00, 0x13, 0x91});
    const Bytes answer = reset(m);
    const Bytes id = defaultIdentification();
    ASSERT_EQ(answer.size(), 3 + 3 + id.size());
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 3), (Bytes{0x00, 0x13, 0x91}));
    EXPECT_EQ(answer[3], 0x90);
    EXPECT_EQ(answer[5], id.size());
    EXPECT_EQ(Bytes(answer.begin() + 6, answer.end()), id);
    EXPECT_EQ(id[9], '4');
    EXPECT_EQ(id[10], 'S');
    EXPECT_EQ(m.resets(), 1u);

    // RTS low to low is no pulse; silent and unpowered readers do not answer.
    ModelOutput out;
    m.setRts(false, out);
    EXPECT_TRUE(out.emissions.empty());
    m.setSilent(true);
    EXPECT_TRUE(reset(m).empty());
    EXPECT_TRUE(exchange(m, {0x20, 0x00, 0x10, 0x00, 0x00, 0x00}).empty());
    m.setSilent(false);
    m.setPowered(false);
    EXPECT_TRUE(reset(m).empty());
    EXPECT_TRUE(exchange(m, {0x20, 0x00, 0x10, 0x00, 0x00, 0x00}).empty());
}

TEST(ReaderModel, EchoesEveryByteWhenTheIdentificationSaysSo) {
    struct Case {
        std::string id;
        bool echoes;
    };
    for (const Case &c : std::vector<Case>{
             {"VEXA KVR73C#", true}, {"VEXA KVR74S#", false}, {"ACME KVR73C#", false}, {"VEXA KVR3", false}}) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(identificationEchoes(Bytes(c.id.begin(), c.id.end())), c.echoes);
    }
    ReaderModel m;
    m.setIdentification(basicIdentification());
    ModelOutput out;
    const Bytes frame = {0xA1, 0x00, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x00};
    for (uint8_t b : frame) m.receive(b, Clock::now(), out);
    Bytes echoed;
    for (const Emission &e : out.emissions)
        if (e.kind == Emission::Kind::Echo) echoed.insert(echoed.end(), e.bytes.begin(), e.bytes.end());
    EXPECT_EQ(echoed, frame);
    ASSERT_FALSE(out.emissions.empty());
    EXPECT_EQ(out.emissions.back().kind, Emission::Kind::Reply);  // echo first, reply last
}

TEST(ReaderModel, DropsAFrameWhoseBytesStopComing) {
    ReaderModel m;
    ModelOutput out;
    const auto t0 = Clock::now();
    for (uint8_t b : {0x20, 0x00, 0x10}) m.receive(b, t0, out);
    const Bytes reply = exchange(m, {0x20, 0x00, 0x10, 0x01, 0x00, 0x00}, t0 + std::chrono::milliseconds(1500));
    ASSERT_EQ(reply.size(), 4u);
    EXPECT_EQ(reply[0], kStatDone);  // the new frame, not a mix of both
}

TEST(Rules, ParseMatchAndReportErrors) {
    RuleSet rules;
    std::string error;
    ASSERT_TRUE(
        rules.parse("# scripted\n"
                    "A1 00 A4 04 00 * => 00 90 00 | 6F 10 84 08\n"
                    "21 00 CA ?? ?? 00 => 00 6A88\n"
                    "\n"
                    "20 00 10 00 00 00 => 50 00 00   # no card, whatever happens\n",
                    error))
        << error;
    EXPECT_EQ(rules.size(), 3u);
    struct Case {
        Bytes frame;
        std::optional<Reply> reply;
    };
    const std::vector<Case> cases = {
        {{0xA1, 0x00, 0xA4, 0x04, 0x00, 0x02, 0xA0, 0x00}, Reply{0x00, 0x90, 0x00, {0x6F, 0x10, 0x84, 0x08}}},
        {{0xA1, 0x00, 0xA4, 0x04}, std::nullopt},  // shorter than the pattern
        {{0xA1, 0x00, 0xA4, 0x04, 0x00}, Reply{0x00, 0x90, 0x00, {0x6F, 0x10, 0x84, 0x08}}},  // "*" takes none
        {{0x21, 0x00, 0xCA, 0x9F, 0x7F, 0x00}, Reply{0x00, 0x6A, 0x88, {}}},
        {{0x21, 0x00, 0xCA, 0x9F, 0x7F, 0x00, 0x01}, std::nullopt},  // longer, no "*"
        {{0x20, 0x00, 0x10, 0x00, 0x00, 0x00}, Reply{0x50, 0x00, 0x00, {}}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rules.match(cases[i].frame), cases[i].reply);
    }
    for (const char *bad : {"A1 00 => 00 90", "A1 * 00 => 00 90 00", "ZZ => 00 90 00", "A1 00 00 90 00",
                            "A => 00 90 00", "=> 00 90 00"}) {
        SCOPED_TRACE(bad);
        RuleSet r;
        error.clear();
        EXPECT_FALSE(r.parse(std::string("20 => 00 00 00\n") + bad + "\n", error));
        EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
        EXPECT_TRUE(r.empty());
    }

    // Scripted replies come before the built-in reader.
    ReaderModel m;
    m.setRules(rules);
    EXPECT_EQ(exchange(m, {0x20, 0x00, 0x10, 0x00, 0x00, 0x00}), (Bytes{0x50, 0x00, 0x00, 0x00}));
}

TEST(Options, BuildTheConfiguration) {
    Options o;
    std::string error;
    ASSERT_TRUE(
        parseOptions({"--listen", "0.0.0.0:7300", "--basic", "--no-card", "--sams", "2,3", "--latency", "25", "--noise",
                      "00 13", "--paced", "--silent", "--log", "-", "--idle-timeout", "90", "--take-over", "5"},
                     o, error))
        << error;
    EXPECT_EQ(o.config.host, "0.0.0.0");
    EXPECT_EQ(o.config.port, 7300);
    EXPECT_EQ(o.config.identification, basicIdentification());
    EXPECT_FALSE(o.config.cardPresent);
    EXPECT_EQ(o.config.samPresent, (std::array<bool, 3>{false, true, true}));
    EXPECT_EQ(o.config.latency, std::chrono::milliseconds(25));
    EXPECT_EQ(o.config.noise, (Bytes{0x00, 0x13}));
    EXPECT_TRUE(o.config.paced);
    EXPECT_TRUE(o.config.silent);
    EXPECT_EQ(o.logPath, "-");
    EXPECT_EQ(o.config.idleTimeout, std::chrono::seconds(90));
    EXPECT_EQ(o.config.takeOverAfter, std::chrono::seconds(5));
    EXPECT_FALSE(o.config.memoryLog);  // the program keeps only what it writes out

    Options plain;
    ASSERT_TRUE(parseOptions({}, plain, error)) << error;
    EXPECT_FALSE(plain.help);
    EXPECT_FALSE(plain.version);
    for (const char *flag : {"--version", "-V"}) {
        Options version;
        ASSERT_TRUE(parseOptions({flag}, version, error)) << flag;
        EXPECT_TRUE(version.version) << flag;
    }
    EXPECT_EQ(plain.config.idleTimeout, std::chrono::milliseconds(0));
    EXPECT_FALSE(plain.config.takeOverAfter.has_value());

    // A listening address may name port 0 (any free port), in IPv6 too.
    Options any;
    ASSERT_TRUE(parseOptions({"--listen", "[::1]:0"}, any, error)) << error;
    EXPECT_EQ(any.config.host, "::1");
    EXPECT_EQ(any.config.port, 0);

    Options id;
    ASSERT_TRUE(parseOptions({"--id-text", "VEXA KVR74B#", "--id-bytes", "0102 0304"}, id, error));
    EXPECT_EQ(id.config.identification,
              (Bytes{'V', 'E', 'X', 'A', ' ', 'K', 'V', 'R', '7', '4', 'B', '#', 1, 2, 3, 4}));

    for (const std::vector<std::string> &bad : std::vector<std::vector<std::string>>{{"--listen", "7201"},
                                                                                     {"--listen", "h:70000"},
                                                                                     {"--latency", "-1"},
                                                                                     {"--sams", "4"},
                                                                                     {"--noise", "0G"},
                                                                                     {"--bogus"},
                                                                                     {"--rules"},
                                                                                     {"--rules", "/nonexistent/rules"},
                                                                                     {"--idle-timeout", "x"},
                                                                                     {"--take-over", "-2"},
                                                                                     {"--take-over"}}) {
        Options x;
        error.clear();
        EXPECT_FALSE(parseOptions(bad, x, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
    const std::string help = usage();
    for (const char *opt : {"--listen", "--basic", "--id-text", "--id-bytes", "--no-card", "--sams", "--unpowered",
                            "--silent", "--latency", "--noise", "--paced", "--rules", "--log", "--help", "--version",
                            "--idle-timeout", "--take-over"})
        EXPECT_NE(help.find(opt), std::string::npos) << opt;
}

TEST(Rules, OnlyARegularFileOfSaneSizeIsRead) {
    char tmpl[] = "/tmp/kvr7x-rules-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const std::string fifo = dir + "/fifo";
    const std::string big = dir + "/big";
    const std::string good = dir + "/good";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(big) << std::string(2 * 1024 * 1024, '#');
    std::ofstream(good) << "20 00 10 00 00 00 => 00 90 00\n";
    const struct {
        std::string path;
        const char *says;
    } cases[] = {
        {fifo, "is not a regular file"},         // would wait for a writer for ever
        {"/dev/zero", "is not a regular file"},  // would never end
        {dir, "is a folder"},
        {big, "is larger than 1024 KiB"},
        {dir + "/missing", "cannot read rules file"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        RuleSet rules;
        std::string error;
        EXPECT_FALSE(rules.load(c.path, error));
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_NE(error.find(c.path), std::string::npos) << error;
    }
    RuleSet rules;
    std::string error;
    EXPECT_TRUE(rules.load(good, error)) << error;
    EXPECT_EQ(rules.size(), 1u);
    std::filesystem::remove_all(dir);
}
