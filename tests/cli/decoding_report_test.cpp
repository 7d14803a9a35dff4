// kvr7x --decode without a reader: which replies get which decoding, and
// the JSON members of the bytes an ATR may carry.
#include "decoding_report.h"
#include "report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvr::cli {
namespace {

ReaderCommand commandOf(Operation operation, uint8_t code, uint8_t ins) {
    ReaderCommand command;
    command.operation = operation;
    command.code = code;
    command.ins = ins;
    return command;
}

Outcome replyOf(Operation operation, std::vector<uint8_t> data, uint8_t sw1 = 0x90, uint8_t sw2 = 0x00) {
    Outcome outcome;
    outcome.operation = operation;
    outcome.sw1 = sw1;
    outcome.sw2 = sw2;
    outcome.data = std::move(data);
    return outcome;
}

TEST(DecodingReport, EachReplyGetsTheDecodingItsCommandAndDataCallFor) {
    const std::vector<uint8_t> fci{0x6F, 0x03, 0x83, 0x01, 0x01};
    const std::vector<uint8_t> atr{0x3B, 0x00};
    struct Row {
        const char *name;
        ReaderCommand command;
        Outcome outcome;
        const char *members;  // what --json adds
    };
    Outcome failed = replyOf(Operation::Send, atr);
    failed.result = 0x50;
    Outcome reset = replyOf(Operation::Reset, fci);
    reset.sw1.reset();
    reset.sw2.reset();
    const Row rows[] = {
        {"an activation", commandOf(Operation::Send, 0x20, 0x80), replyOf(Operation::Send, atr),
         R"(,"meaning":"Proceso correcto","atr":{"length":2,"ts":"3B","convention":"direct","t0":"00","k":0,)"
         R"("interface":[],"protocols":[0],"fi":372,"di":1,"fmax_khz":5000,"cycles_per_etu":372,"ta1":false,)"
         R"("historical":"","historical_text":"","historical_category":"none","tck":{"present":false}})"},
        {"an FCI read with isoout", commandOf(Operation::IsoOut, 0, 0xC0), replyOf(Operation::IsoOut, fci),
         R"(,"meaning":"Proceso correcto","tlv":[{"tag":"6F","length":3,"name":"Plantilla FCI","children":)"
         R"([{"tag":"83","length":1,"name":"Identificador de fichero","value":"01"}]}])"},
        {"a status word alone", commandOf(Operation::IsoIn, 0, 0xA4), replyOf(Operation::IsoIn, {}, 0x6A, 0x82),
         R"(,"meaning":"Fichero o aplicación no encontrado")"},
        {"a reader error decodes no data", commandOf(Operation::Send, 0x20, 0x80), failed,
         R"(,"meaning":"Proceso correcto")"},
        {"the reset's identification is not decoded", commandOf(Operation::Reset, 0, 0), reset, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string plain = jsonReport(row.outcome);
        const std::string decoded = withJsonDecoding(plain, row.command, row.outcome);
        EXPECT_EQ(decoded, plain.substr(0, plain.size() - 2) + row.members + "}\n");
    }
}

TEST(DecodingReport, TheProtocolBytesOfAnAtrAsJsonMembers) {
    struct Row {
        const char *name;
        std::vector<uint8_t> atr;
        std::vector<std::string> members;
    };
    const Row rows[] = {
        {"T=1 bytes and TA1",
         {0x3B, 0x90, 0x14, 0x81, 0x71, 0xFE, 0x45, 0x01, 0xCE},
         {R"("fi":372,"di":8,"fmax_khz":5000,"cycles_per_etu":46.5,"ta1":true)",
          R"("t1":{"ifsc":254,"bwi":4,"cwi":5,"error_detection":"crc"})",
          R"("tck":{"present":true,"value":"CE","ok":true})"}},
        {"T=15 bytes and the specific mode",
         {0x3B, 0x80, 0x90, 0x11, 0x1F, 0x43, 0x00},
         {R"("specific_mode":{"protocol":1,"changeable":true,"implicit":true})",
          R"("t15":{"clock_stop":"L","classes":["A","B"]})"}},
        {"a cut ATR", {0x3B, 0x92, 0x11}, {R"("stop":{"offset":3,"reason":"falta TD1"})"}},
        {"historical category 80",
         {0x3B, 0x03, 0x80, 0x81, 0x05},
         {R"("historical_category":"80","compact_tlv":[{"tag":"8","value":"05"}],"status_indicator":{"lcs":"05"})"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string json = atrJson(decode::decodeAtr(row.atr));
        for (const std::string &member : row.members) EXPECT_NE(json.find(member), std::string::npos) << json;
    }
}

TEST(DecodingReport, TheTextLinesFollowTheReplysFieldsEachNamedByItsLayer) {
    const std::string text =
        textDecoding(commandOf(Operation::Send, 0x20, 0x80), replyOf(Operation::Send, {0x3B, 0x80, 0x01, 0x52}));
    EXPECT_EQ(text.substr(0, text.find('\n')), "MEANING Proceso correcto");
    EXPECT_NE(text.find("\nATR ATR de 4 bytes, TS 3B: convención directa\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nATR TCK 52: incorrecto, debería ser 81\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace kvr::cli
