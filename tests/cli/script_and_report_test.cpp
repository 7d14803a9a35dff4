// kvr7x scripts (every line checked before anything is sent, comments and
// blank lines skipped) and the two forms of a report.
#include "report.h"
#include "console/card_script.h"

#include <gtest/gtest.h>

#include <kvr7x.h>

#include <string>

namespace kvr::cli {
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

Outcome sendOutcome() {
    Outcome outcome;
    outcome.operation = Operation::Send;
    outcome.result = 0;
    outcome.sw1 = 0x90;
    outcome.sw2 = 0x00;
    outcome.length = 3;
    outcome.data = {'V', 0x01, 'A'};
    return outcome;
}

TEST(Report, EachOutcomeReadsForPeopleAndForPrograms) {
    Outcome silent;
    silent.operation = Operation::Reset;
    silent.result = KVR7X_NO_ANSWER;
    Outcome closed;
    closed.operation = Operation::IsoOut;
    closed.result = KVR7X_ERROR(KVR7X_ERR_CONNECTION_CLOSED);
    Outcome status;
    status.operation = Operation::Status;
    status.result = 0x50;
    status.cardPresent = false;
    status.readerPowered = true;
    const struct {
        const char *name;
        Outcome outcome;
        std::string text;
        std::string json;
    } rows[] = {
        {"a reply with data", sendOutcome(),
         "STAT 00  SW1 90  SW2 00  LEN 03\nDATA 56 01 41\nTEXT V.A\nComando procesado correctamente\n",
         R"j({"command":"send","ok":true,"result":0,"stat":"00","sw1":"90","sw2":"00","len":3,"data":"560141",)j"
         R"j("status":"Comando procesado correctamente"})j"
         "\n"},
        {"a silent reader", silent, "ERROR 80000000\nEl lector no responde (80000000 (hex))\n",
         R"j({"command":"reset","ok":false,"result":-2147483648,"error":"80000000",)j"
         R"j("status":"El lector no responde (80000000 (hex))"})j"
         "\n"},
        {"a closed connection", closed,
         "ERROR 80000040\nError desconocido -2147483584\nEl servidor del puerto de red ha cerrado la conexión con "
         "el lector; Lector > Reset la abre de nuevo\n",
         R"j({"command":"isoout","ok":false,"result":-2147483584,"error":"80000040",)j"
         R"j("status":"Error desconocido -2147483584","meaning":"El servidor del puerto de red ha cerrado la )j"
         R"j(conexión con el lector; Lector > Reset la abre de nuevo"})j"
         "\n"},
        {"a status with the reader's error", status, "STAT 50\nCARD absent\nPOWER on\nNo hay tarjeta\n",
         R"j({"command":"status","ok":false,"result":80,"stat":"50","card":false,"power":true,)j"
         R"j("status":"No hay tarjeta"})j"
         "\n"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(textReport(row.outcome), row.text);
        EXPECT_EQ(jsonReport(row.outcome), row.json);
    }
}

TEST(Report, AScriptLineCarriesItsNumberAndTextIsEscaped) {
    EXPECT_EQ(jsonReport(sendOutcome(), 7).rfind(R"j({"line":7,"command":"send",)j", 0), 0u);
    EXPECT_EQ(jsonString("a \"b\" \\ \n\x01"), R"j("a \"b\" \\ \u000A\u0001")j");
}

}  // namespace
}  // namespace kvr::cli
