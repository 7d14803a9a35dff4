// Control commands: the card taken out and put back, the power cut, while
// the emulator runs.
#include <gtest/gtest.h>

#include "control_commands.h"
#include "emulator.h"
#include "options.h"

using kvr7x::emu::Emulator;
using kvr7x::emu::runControlCommand;

TEST(ControlCommands, ChangeTheReaderAndAnswerOneLine) {
    Emulator emu(kvr7x::emu::Config{});
    struct Case {
        const char *line;
        std::string answer;
        uint8_t lines;  // modem state afterwards: DSR 20 card, carrier 80 and CTS 10 power
    };
    const std::vector<Case> cases = {
        {"card out", "ok: card out", 0x90},
        {"  card   in  ", "ok: card in", 0xB0},
        {"power off", "ok: power off", 0x20},
        {"power on", "ok: power on", 0xB0},
        {"sam 3 in", "ok: sam 3 in", 0xB0},
        {"silent on", "ok: silent on", 0xB0},
        {"silent off", "ok: silent off", 0xB0},
        {"", "", 0xB0},
        {"# a comment", "", 0xB0},
        {"card", "error: unknown command \"card\"", 0xB0},
        {"sam 4 in", "error: unknown command \"sam 4 in\"", 0xB0},
        {"card sideways", "error: unknown command \"card sideways\"", 0xB0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(runControlCommand(emu, c.line), c.answer);
        EXPECT_EQ(emu.modemState(), c.lines);
    }
    // The state as one line, with the card's ATR in hex.
    std::string atr;
    for (uint8_t b : emu.atr(0)) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", b);
        atr += hex;
    }
    EXPECT_EQ(runControlCommand(emu, "card out"), "ok: card out");
    EXPECT_EQ(runControlCommand(emu, "status"), "ok: card out, power on, atr " + atr);

    // The program reads them only when asked to, and its help lists them.
    kvr7x::emu::Options options;
    std::string error;
    ASSERT_TRUE(kvr7x::emu::parseOptions({"--control"}, options, error)) << error;
    EXPECT_TRUE(options.control);
    for (const char *word : {"--control", "card in", "card out", "power off", "status"})
        EXPECT_NE(kvr7x::emu::usage().find(word), std::string::npos) << word;
}
