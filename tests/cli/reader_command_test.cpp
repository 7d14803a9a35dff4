// The kvr7x tool's command words and command line: what each parses into,
// and the one-line reason for words that are no command.
#include "invocation.h"
#include "session/reader_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvr::cli {
namespace {

ReaderCommand send(uint8_t code, uint8_t cla, uint8_t ins, uint8_t p1, uint8_t p2, uint8_t p3,
                   std::vector<uint8_t> data, uint32_t timeoutMs) {
    ReaderCommand command;
    command.operation = Operation::Send;
    command.code = code;
    command.cla = cla;
    command.ins = ins;
    command.p1 = p1;
    command.p2 = p2;
    command.p3 = p3;
    command.data = std::move(data);
    command.timeoutMs = timeoutMs;
    return command;
}

ReaderCommand iso(Operation operation, uint8_t unit, uint8_t ins, uint8_t p2, uint8_t p3, std::vector<uint8_t> data,
                  uint32_t timeoutMs = 1000) {
    ReaderCommand command;
    command.operation = operation;
    command.unit = unit;
    command.ins = ins;
    command.p2 = p2;
    command.p3 = p3;
    command.data = std::move(data);
    command.timeoutMs = timeoutMs;
    return command;
}

ReaderCommand status(uint8_t unit) {
    ReaderCommand command;
    command.operation = Operation::Status;
    command.unit = unit;
    return command;
}

TEST(ReaderCommandWords, EachCommandParsesIntoTheCallsValues) {
    const struct {
        const char *line;
        ReaderCommand expected;
    } rows[] = {
        {"reset", ReaderCommand{}},
        {"status", status(0)},
        {"status 3", status(3)},
        {"send 20 00 10 00 00 00", send(0x20, 0, 0x10, 0, 0, 0, {}, 1000)},
        {"send 20 0 20 0 0 0", send(0x20, 0, 0x20, 0, 0, 0, {}, 10000)},
        {"send 20 00 30 00 00 00", send(0x20, 0, 0x30, 0, 0, 0, {}, 10000)},
        {"send a1 00 a4 00 0c 02 3f00", send(0xA1, 0, 0xA4, 0, 0x0C, 2, {0x3F, 0x00}, 1000)},
        {"send A1 00 A4 00 0C 02 3F 00 -t 2500", send(0xA1, 0, 0xA4, 0, 0x0C, 2, {0x3F, 0x00}, 2500)},
        {"send 20 00 20 00 00 00 -t 50", send(0x20, 0, 0x20, 0, 0, 0, {}, 50)},
        {"isoin 0 00 A4 00 0C 2F00", iso(Operation::IsoIn, 0, 0xA4, 0x0C, 2, {0x2F, 0x00})},
        {"isoin 2 00 A4 00 0C", iso(Operation::IsoIn, 2, 0xA4, 0x0C, 0, {})},
        {"isoout 1 00 B0 00 00 0E -t 3000", iso(Operation::IsoOut, 1, 0xB0, 0x00, 0x0E, {}, 3000)},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.line);
        std::string error;
        const auto command = parseReaderCommand(splitWords(row.line), error);
        ASSERT_TRUE(command) << error;
        EXPECT_EQ(*command, row.expected);
    }
}

TEST(ReaderCommandWords, WordsThatAreNoCommandAreRefusedWithTheirReason) {
    const struct {
        const char *line;
        const char *reason;
    } rows[] = {
        {"", "no command given"},
        {"insert", "unknown command \"insert\""},
        {"reset 00", "usage: reset"},
        {"send 20 00 10 00 00", "usage: send CODE CLA INS P1 P2 P3 [DATA] [-t MS]"},
        {"send 20 00 10 00 00 100", "\"100\" is not a byte in hexadecimal"},
        {"send 20 00 1G 00 00 00", "\"1G\" is not a byte"},
        {"send A1 00 A4 00 0C 02 3F", "CODE A1 sends a data block of 2 bytes (P3); DATA has 1"},
        {"send A1 00 A4 00 0C 02 3F0", "\"3F0\" is not data in hexadecimal"},
        {"send A1 00 D6 00 00 00 00", "CODE A1 sends a data block of 256 bytes (P3); DATA has 1"},
        {"send 21 00 B0 00 00 02 00", "CODE 21 sends no data block"},
        {"send 20 00 10 00 00 00 -t", "-t takes a time-out in milliseconds"},
        {"send 20 00 10 00 00 00 -t 0", "-t takes a time-out in milliseconds"},
        {"send 20 00 10 00 00 00 -t 5s", "-t takes a time-out in milliseconds"},
        {"status -t 100", "-t applies to send, isoin and isoout"},
        {"status 4", "UNIT is 0 (the card) or 1 to 3"},
        {"isoout 4 00 B0 00 00 0E", "UNIT is 0 (the card) or 1 to 3"},
        {"isoout 0 00 B0 00 00 0E 00", "usage: isoout UNIT CLA INS P1 P2 P3"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.line);
        std::string error;
        EXPECT_FALSE(parseReaderCommand(splitWords(row.line), error));
        EXPECT_NE(error.find(row.reason), std::string::npos) << error;
    }
}

TEST(ReaderCommandWords, IsoInTakesAtMost255DataBytes) {
    std::vector<std::string> words = splitWords("isoin 0 00 D6 00 00");
    words.push_back(std::string(2 * 255, 'A'));
    std::string error;
    const auto command = parseReaderCommand(words, error);
    ASSERT_TRUE(command) << error;
    EXPECT_EQ(command->p3, 255);
    words.back() += "AA";
    EXPECT_FALSE(parseReaderCommand(words, error));
    EXPECT_EQ(error, "isoin sends at most 255 data bytes");
}

TEST(CommandLine, OptionsStandAnywhereAndHelpOrVersionWin) {
    const struct {
        std::vector<std::string> arguments;
        Invocation::Action action;
        std::string port;
        bool keepGoing, json;
        std::string script;
    } rows[] = {
        {{}, Invocation::Action::Help, "COM1", false, false, ""},
        {{"--help"}, Invocation::Action::Help, "COM1", false, false, ""},
        {{"-p", "COM3", "--version"}, Invocation::Action::Version, "COM1", false, false, ""},
        {{"-V"}, Invocation::Action::Version, "COM1", false, false, ""},
        {{"status"}, Invocation::Action::Command, "COM1", false, false, ""},
        {{"-p", "rfc2217://127.0.0.1:7201", "--json", "reset"},
         Invocation::Action::Command,
         "rfc2217://127.0.0.1:7201",
         false,
         true,
         ""},
        {{"-k", "--port", "/dev/ttyUSB0", "run", "check.kvr"},
         Invocation::Action::Script,
         "/dev/ttyUSB0",
         true,
         false,
         "check.kvr"},
        {{"run", "-"}, Invocation::Action::Script, "COM1", false, false, "-"},
        {{"status", "--json", "-p", "COM2"}, Invocation::Action::Command, "COM2", false, true, ""},
        {{"send", "20", "00", "20", "00", "00", "00", "-t", "500", "-k"},
         Invocation::Action::Command,
         "COM1",
         true,
         false,
         ""},
        {{"-t", "500", "-p", "COM2", "isoout", "0", "00", "B0", "00", "00", "0E"},
         Invocation::Action::Command,
         "COM2",
         false,
         false,
         ""},
        {{"--junit", "r.xml", "run", "c.kvs", "--record", "g.kvs", "--record-rules", "c.rules"},
         Invocation::Action::Script,
         "COM1",
         false,
         false,
         "c.kvs"},
    };
    for (const auto &row : rows) {
        std::string line;
        for (const auto &argument : row.arguments) line += argument + " ";
        SCOPED_TRACE(line);
        std::string error;
        const auto invocation = parseInvocation(row.arguments, error);
        if (row.arguments.empty()) {
            // No command at all is a usage error, not help.
            EXPECT_FALSE(invocation);
            continue;
        }
        ASSERT_TRUE(invocation) << error;
        EXPECT_EQ(invocation->action, row.action);
        if (row.action == Invocation::Action::Help || row.action == Invocation::Action::Version) continue;
        EXPECT_EQ(invocation->port, row.port);
        EXPECT_EQ(invocation->keepGoing, row.keepGoing);
        EXPECT_EQ(invocation->json, row.json);
        EXPECT_EQ(invocation->scriptPath, row.script);
    }
    // -t before the command's name is the command's time-out.
    std::string error;
    const auto early = parseInvocation({"-t", "500", "isoout", "0", "00", "B0", "00", "00", "0E"}, error);
    ASSERT_TRUE(early) << error;
    EXPECT_EQ(early->command.timeoutMs, 500u);
    EXPECT_EQ(early->command.p3, 0x0E);
    const auto reports =
        parseInvocation({"--junit", "r.xml", "run", "c.kvs", "--record", "g.kvs", "--record-rules", "c.rules"}, error);
    ASSERT_TRUE(reports) << error;
    EXPECT_EQ(reports->junitPath, "r.xml");
    EXPECT_EQ(reports->recordPath, "g.kvs");
    EXPECT_EQ(reports->rulesPath, "c.rules");
}

TEST(CommandLine, UsageErrorsSayWhatIsWrong) {
    const struct {
        std::vector<std::string> arguments;
        const char *reason;
    } rows[] = {
        {{"-p"}, "-p takes a port name"},
        {{"-x", "status"}, "unknown option \"-x\""},
        {{"run"}, "usage: run FILE"},
        {{"run", "a", "b"}, "usage: run FILE"},
        {{"-p", "COM2", "send", "20"}, "usage: send"},
        {{"status", "-t", "100"}, "-t applies to send"},
        {{"-t", "100", "status"}, "-t applies to send"},
        {{"-t", "100"}, "no command given"},
        {{"-t", "100", "run", "c.kvs"}, "-t goes on the lines of a script, not on run"},
        {{"--junit", "r.xml", "status"}, "--junit, --record and --record-rules go with run FILE"},
        {{"run", "c.kvs", "--record"}, "--record takes a file name"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.reason);
        std::string error;
        EXPECT_FALSE(parseInvocation(row.arguments, error));
        EXPECT_NE(error.find(row.reason), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace kvr::cli
