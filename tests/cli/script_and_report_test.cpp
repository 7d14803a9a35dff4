// The two forms of a report, JSON that stays UTF-8 whatever the bytes, and
// the JUnit report of a script run.
#include "junit_report.h"
#include "report.h"

#include "common/hex.h"

#include <gtest/gtest.h>

#include <kvr7x.h>

#include <string>

namespace kvr::cli {
namespace {

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

namespace kvr::cli {
namespace {

// Every byte value in a text: the JSON string is UTF-8, and the text comes
// back whole from the "_hex" member when it was not UTF-8.
TEST(Report, JsonTextIsUtf8WhateverTheBytesAndKeepsThemInHex) {
    std::string every;
    for (int byte = 0; byte < 256; ++byte) every += static_cast<char>(byte);
    const std::string member = jsonText("port", every);
    EXPECT_TRUE(isUtf8(member)) << member;
    const std::string hexStart = "\"port_hex\":\"";
    const std::size_t hex = member.find(hexStart);
    ASSERT_NE(hex, std::string::npos) << member;
    EXPECT_EQ(member.substr(hex + hexStart.size(), 512), common::hexPacked(std::string_view(every)));
    const struct {
        const char *text;
        const char *json;
    } rows[] = {
        {"plain", R"j("t":"plain")j"},
        {"a\xC3\xB1o", "\"t\":\"a\xC3\xB1o\""},  // UTF-8 stays as it is, without "_hex"
        {"\xF0\x9F\x92\xB3", "\"t\":\"\xF0\x9F\x92\xB3\""},
        {"COM\xFF", R"j("t":"COM\uFFFD","t_hex":"434F4DFF")j"},
        {"\xC3", R"j("t":"\uFFFD","t_hex":"C3")j"},                          // cut short
        {"\xC0\xAF", R"j("t":"\uFFFD\uFFFD","t_hex":"C0AF")j"},              // overlong
        {"\xED\xA0\x80", R"j("t":"\uFFFD\uFFFD\uFFFD","t_hex":"EDA080")j"},  // a surrogate
        {"\x7F\x1F", R"j("t":"\u007F\u001F")j"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(jsonText("t", row.text), row.json);
    }
}

TEST(JunitReport, OneTestcaseALineWithItsFailureAndTheLinesNotReached) {
    const std::string xml = junitReport("card <1>.kvs", {{2, "send 20 00 80 00 00 00", 0.0126, true, {}},
                                                         {4, "isoout 0 00 C0 00 00 $SW2", 0.002, true,
                                                          "card <1>.kvs:4: isoout 0 00 C0 00 00 $SW2: expected SW "
                                                          "9000, got 6A82"},
                                                         {5, "status \x01\xFF", 0, false, {}}});
    EXPECT_NE(xml.find(R"(<testsuite name="card &lt;1&gt;.kvs" tests="3" failures="1" errors="0" skipped="1" )"
                       R"(time="0.015">)"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find(R"(<testcase classname="card &lt;1&gt;.kvs" name="line 2: send 20 00 80 00 00 00" )"
                       R"(time="0.013"/>)"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find(R"(<failure message="card &lt;1&gt;.kvs:4: isoout 0 00 C0 00 00 $SW2: expected SW 9000, )"
                       R"(got 6A82">)"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find(R"(name="line 5: status \x01\xFF")"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<skipped "), std::string::npos) << xml;
}

}  // namespace
}  // namespace kvr::cli
