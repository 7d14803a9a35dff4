// Card scripts as the shell tool and the manager read them: the lines and
// their numbers, the expected replies and what a reply that differs is told
// as, the placeholders of the previous reply, the limits, and a run written
// back as a script and as emulator rules.
#include "session/card_script.h"
#include "session/script_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvr::session {
namespace {

TEST(Script, CommentsAndBlankLinesAreSkippedAndLinesKeepTheirNumbers) {
    std::string error;
    const auto lines = parseScript(
        "# read the label\n"
        "\n"
        "send 20 00 80 00 00 00   # activate\r\n"
        "  isoin 0 00 A4 00 0C 2F00\n"
        "isoout 0 00 B0 00 00 0E -t 2000",
        "label.kvr", error);
    ASSERT_TRUE(lines) << error;
    ASSERT_EQ(lines->size(), 3u);
    EXPECT_EQ((*lines)[0].number, 3);
    EXPECT_EQ((*lines)[0].text, "send 20 00 80 00 00 00");
    EXPECT_EQ((*lines)[0].command.ins, 0x80);
    EXPECT_EQ((*lines)[1].number, 4);
    EXPECT_EQ((*lines)[1].command.operation, Operation::IsoIn);
    EXPECT_EQ((*lines)[2].number, 5);
    EXPECT_EQ((*lines)[2].command.timeoutMs, 2000u);
}

TEST(Script, TheFirstLineThatIsNoCommandIsNamedWithItsFileAndNumber) {
    const struct {
        const char *script;
        const char *error;
    } rows[] = {
        {"reset\nstatus\nsend 20 00\n", "s.kvr:3: usage: send CODE CLA INS P1 P2 P3 [DATA] [-t MS]"},
        {"run other.kvr\n", "s.kvr:1: unknown command \"run\""},
        {"reset\n# ok\nstatus 9\nsend\n", "s.kvr:3: UNIT is 0 (the card) or 1 to 3 (the SAM slots)"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.script);
        std::string error;
        EXPECT_FALSE(parseScript(row.script, "s.kvr", error));
        EXPECT_EQ(error, row.error);
    }
}

TEST(Script, AnEmptyScriptHasNoCommands) {
    std::string error;
    const auto lines = parseScript("# nothing\n\n", "-", error);
    ASSERT_TRUE(lines) << error;
    EXPECT_TRUE(lines->empty());
}

ScriptReply reply(int32_t result, std::optional<uint8_t> sw1, std::optional<uint8_t> sw2,
                  std::vector<uint8_t> data = {}) {
    ScriptReply out;
    out.result = result;
    out.sw1 = sw1;
    out.sw2 = sw2;
    out.data = std::move(data);
    return out;
}

TEST(Script, EachExpectationReadsAsWrittenAndTellsTheFirstDifference) {
    const ScriptReply label = reply(0, 0x90, 0x00, {0x56, 0x45, 0x58, 0x41});
    const struct {
        const char *line;
        const char *written;  // the expectation written back
        ScriptReply got;
        const char *mismatch;  // empty: matches
    } rows[] = {
        {"isoout 0 00 B0 00 00 04", "", label, ""},
        {"isoout 0 00 B0 00 00 04 =>", "", label, ""},
        {"isoout 0 00 B0 00 00 04 => 9000", "9000", label, ""},
        {"isoout 0 00 B0 00 00 04 => 90??", "90??", label, ""},
        {"isoout 0 00 B0 00 00 04 => ????", "????", reply(0, 0x6A, 0x82), ""},
        {"isoout 0 00 B0 00 00 04 => 61??", "61??", label, "expected SW 61??, got 9000"},
        {"isoout 0 00 C0 00 00 00 => 9000", "9000", reply(0, 0x6A, 0x82), "expected SW 9000, got 6A82"},
        {"isoout 0 00 B0 00 00 04 => 9000 56 45 58 41", "9000 56 45 58 41", label, ""},
        {"isoout 0 00 B0 00 00 04 => 9000 56455841", "9000 56 45 58 41", label, ""},
        {"isoout 0 00 B0 00 00 04 => 9000 56 ?? *", "9000 56 ?? *", label, ""},
        {"isoout 0 00 B0 00 00 04 => 9000 56 45", "9000 56 45", label, "expected DATA 56 45, got 56 45 58 41"},
        {"isoout 0 00 B0 00 00 04 => 9000 41 *", "9000 41 *", reply(0, 0x90, 0x00), "expected DATA 41 *, got none"},
        {"isoout 0 00 B0 00 00 04 => 56 45 *", "56 45 *", label, ""},  // no status word: data only
        {"isoout 0 00 B0 00 00 04   =>   9000  *  # a comment", "9000 *", label, ""},
        {"status 2 => stat 50", "stat 50", reply(0x50, {}, {}), ""},
        {"status 2 => STAT 50", "stat 50", reply(0, {}, {}), "expected STAT 50, got 00"},
        {"status 2", "", reply(0x50, {}, {}), "expected STAT 00, got 50"},
        {"isoout 0 00 B0 00 00 04 => 9000", "9000", reply(static_cast<int32_t>(0x80000000u), {}, {}),
         "expected STAT 00, got ERROR 80000000"},
        {"reset => 9000 *", "90 00 *", reply(0, {}, {}, {0x90, 0x00, 0x01}), ""},  // reset: data only
        {"send 20 00 80 00 00 00 => stat 00 9000 3B *", "9000 3B *", reply(0, 0x90, 0x00, {0x3B, 0x6E}), ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.line);
        std::string error;
        const auto lines = parseScript(row.line, "t.kvs", error);
        ASSERT_TRUE(lines) << error;
        ASSERT_EQ(lines->size(), 1u);
        EXPECT_EQ((*lines)[0].expectation().text(), row.written);
        EXPECT_EQ(replyMismatch((*lines)[0].expectation(), row.got), row.mismatch);
    }
}

TEST(Script, AScriptErrorIsFoundBeforeAnythingIsSentWithItsLine) {
    const struct {
        const char *script;
        const char *error;
    } rows[] = {
        {"reset\nisoout 0 00 B0 00 00 0E => 9000 5\n", "s.kvs:2: bad pattern token \"5\""},
        {"isoout 0 00 B0 00 00 0E => 9000 * 00\n", "s.kvs:1: \"*\" must be the last pattern token"},
        {"status => stat 5\n", "s.kvs:1: \"stat\" takes the STAT byte in two hex digits"},
        {"status => stat\n", "s.kvs:1: \"stat\" takes the STAT byte in two hex digits"},
        {"=> 9000\n", "s.kvs:1: \"=>\" follows no command"},
        {"# first\nisoout 0 00 C0 00 00 $SW2\n", "s.kvs:2: $SW2 stands before any reply"},
        {"status\nisoout 0 00 C0 00 00 $SW1\n",
         "s.kvs:2: $SW1 takes the status word of the line before, and "
         "status gives none"},
        {"reset\nisoout 0 00 C0 00 00 $SW3\n", "s.kvs:2: unknown placeholder \"$SW3\" ($SW1, $SW2 or $LEN)"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.script);
        std::string error;
        EXPECT_FALSE(parseScript(row.script, "s.kvs", error));
        EXPECT_EQ(error, row.error);
    }
}

TEST(Script, ThePlaceholdersTakeThePreviousReply) {
    std::string error;
    const auto lines = parseScript(
        "isoin 0 00 A4 00 00 2F00 => 61??\n"
        "isoout 0 00 C0 00 00 $SW2 => 9000\n"
        "send 21 00 B0 00 00 $LEN\n"
        "isoout 0 00 B0 00 00 $SW2 -t 50\n",
        "p.kvs", error);
    ASSERT_TRUE(lines) << error;
    ASSERT_EQ(lines->size(), 4u);
    EXPECT_FALSE((*lines)[0].takesReply);
    EXPECT_EQ((*lines)[1].text, "isoout 0 00 C0 00 00 $SW2");

    const ScriptReply more = reply(0, 0x61, 0x1C);
    auto command = commandFor((*lines)[1], &more, error);
    ASSERT_TRUE(command) << error;
    EXPECT_EQ(command->p3, 0x1C);
    ScriptReply sent = reply(0, 0x90, 0x00, std::vector<uint8_t>(0x1C, 0xAA));
    command = commandFor((*lines)[2], &sent, error);
    ASSERT_TRUE(command) << error;
    EXPECT_EQ(command->p3, 0x1C);  // $LEN: the data length
    sent.length = 0x20;
    command = commandFor((*lines)[2], &sent, error);
    ASSERT_TRUE(command) << error;
    EXPECT_EQ(command->p3, 0x20);  // $LEN: the reply's LEN when it has one
    const ScriptReply wrongLength = reply(0, 0x6C, 0x0E);
    command = commandFor((*lines)[3], &wrongLength, error);
    ASSERT_TRUE(command) << error;
    EXPECT_EQ(command->p3, 0x0E);
    EXPECT_EQ(command->timeoutMs, 50u);

    const ScriptReply silent = reply(static_cast<int32_t>(0x80000000u), {}, {});
    EXPECT_FALSE(commandFor((*lines)[1], &silent, error));
    EXPECT_EQ(error, "$SW2 has no value: the line before got no status word");
    EXPECT_EQ(failureLine("card.kvs", (*lines)[1], "expected SW 9000, got 6A82"),
              "card.kvs:2: isoout 0 00 C0 00 00 $SW2: expected SW 9000, got 6A82");
}

TEST(Script, ALineOrAScriptOverItsLimitIsAScriptErrorAtItsLine) {
    {
        ScriptParser parser("long.kvs");
        EXPECT_TRUE(parser.feed("reset\n"));
        EXPECT_TRUE(parser.feed(std::string(kScriptLineLimit, ' ')));  // at the limit, in pieces
        EXPECT_FALSE(parser.feed(" "));
        EXPECT_EQ(parser.error(), "long.kvs:2: the line is longer than 4096 bytes");
        EXPECT_FALSE(parser.feed("reset\n"));  // the error stands
    }
    {
        // An endless input stops at the limit, whatever pieces it comes in.
        ScriptParser parser("standard input");
        const std::string status = "status" + std::string(993, ' ') + "\n";  // 1000 bytes
        std::string piece;
        for (int i = 0; i < 10; ++i) piece += status;
        bool going = true;
        std::size_t fed = 0;
        while (going && fed < 2 * kScriptSizeLimit) {
            going = parser.feed(piece);
            fed += piece.size();
        }
        EXPECT_FALSE(going);
        EXPECT_EQ(parser.error(), "standard input:" + std::to_string(kScriptSizeLimit / status.size() + 1) +
                                      ": the script is longer than 1048576 bytes");
        EXPECT_EQ(parser.lines().size(), kScriptSizeLimit / status.size());
    }
    {
        ScriptParser parser("crlf.kvs");
        EXPECT_TRUE(parser.feed("reset\r\nstatus => stat 00\r\nstatus"));
        EXPECT_TRUE(parser.finish());
        EXPECT_EQ(parser.lines().size(), 3u);
        EXPECT_EQ(parser.source().size(), 3u);
    }
}

TEST(ScriptRecord, ARunIsWrittenBackAsAScriptThatPassesAndAsEmulatorRules) {
    std::string error;
    const auto lines = parseScript(
        "send 20 00 80 00 00 00  # activate\n"
        "isoin 0 00 A4 00 0C 2F00 => 9000\n"
        "isoout 1 00 B0 00 00 02\n"
        "isoin 0 00 A4 00 00\n"
        "status 2\n"
        "reset\n",
        "r.kvs", error);
    ASSERT_TRUE(lines) << error;
    const struct {
        ScriptReply got;
        const char *script;
        const char *rule;
    } rows[] = {
        {reply(0, 0x90, 0x00, {0x3B, 0x00}), "send 20 00 80 00 00 00 => 9000 3B 00  # activate",
         "20 00 80 00 00 00 => 00 90 00 | 3B 00"},
        {reply(0, 0x6A, 0x82), "isoin 0 00 A4 00 0C 2F00 => 6A82", "A1 00 A4 00 0C 02 2F 00 => 00 6A 82"},
        {reply(0, 0x90, 0x00, {0x41, 0x42}), "isoout 1 00 B0 00 00 02 => 9000 41 42",
         "22 00 B0 00 00 02 => 00 90 00 | 41 42"},
        {reply(0, 0x90, 0x00), "isoin 0 00 A4 00 00 => 9000", "21 00 A4 00 00 00 => 00 90 00"},
        {reply(0x50, {}, {}), "status 2 => stat 50", "20 00 10 02 00 00 => 50 00 00"},
        {reply(0, {}, {}, {0x56}), "reset => 56", "# reset: no frame, the emulator resets itself"},
    };
    ASSERT_EQ(lines->size(), std::size(rows));
    RuleRecorder rules;
    for (std::size_t i = 0; i < lines->size(); ++i) {
        SCOPED_TRACE((*lines)[i].text);
        const ScriptLine &line = (*lines)[i];
        const std::string written = recordedLine(line.text, rows[i].got, line.comment);
        EXPECT_EQ(written, rows[i].script);
        EXPECT_EQ(rules.add(commandFrame(line.command), rows[i].got), rows[i].rule);
        // The recorded line expects exactly what came.
        const auto again = parseScript(written, "again.kvs", error);
        ASSERT_TRUE(again) << error;
        EXPECT_EQ(replyMismatch((*again)[0].expectation(), rows[i].got), "");
    }
    EXPECT_EQ(recordedLine("status", reply(static_cast<int32_t>(0x80000000u), {}, {})), "status  # ERROR 80000000");

    // A rules file gives one reply a frame: a frame answered otherwise later
    // is kept as a comment and counted.
    const std::vector<uint8_t> read = {0x21, 0x00, 0xB0, 0x00, 0x00, 0x0E};
    EXPECT_EQ(rules.add(read, reply(0, 0x69, 0x86)), "21 00 B0 00 00 0E => 00 69 86");
    EXPECT_EQ(rules.add(read, reply(0, 0x69, 0x86)), "# 21 00 B0 00 00 0E => 00 69 86  (as before)");
    EXPECT_EQ(rules.add(read, reply(0, 0x90, 0x00, {0x56})),
              "# 21 00 B0 00 00 0E => 00 90 00 | 56  (answered 00 69 86 before; a rule gives one reply)");
    EXPECT_EQ(rules.conflicts(), 1);
}

}  // namespace
}  // namespace kvr::session
