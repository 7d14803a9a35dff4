// The decodings as the console, the history and kvr7x write them.
#include "decode/describe.h"

#include "bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvr::decode {
namespace {

using testing::bytes;

TEST(Describe, TheEmulatorsAtrInLines) {
    const std::vector<std::string> expected{
        "ATR de 12 bytes, TS 3B: convención directa",
        "T0 68: 8 bytes históricos; bytes de interfaz TB1=00 TC1=00",
        "Protocolos: T=0",
        "Sin TA1: Fi 372, fmax 5 MHz, Di 1, 372 ciclos de reloj por ETU",
        "TC1 00: tiempo de guarda extra 0 ETU",
        "Bytes históricos: 56 45 58 41 44 45 4D 4F \"VEXADEMO\" (categoría propietaria)",
        "Sin TCK: solo se ofrece T=0"};
    EXPECT_EQ(describeAtr(decodeAtr(bytes("3B 68 00 00 56 45 58 41 44 45 4D 4F"))), expected);
}

TEST(Describe, AWrongCheckByteSaysWhatItShouldBeAndACutAtrWhereItStops) {
    const auto wrong = describeAtr(decodeAtr(bytes("3B 80 01 52")));
    EXPECT_EQ(wrong.back(), "TCK 52: incorrecto, debería ser 81");
    const auto cut = describeAtr(decodeAtr(bytes("3B 92 11")));
    EXPECT_EQ(cut.back(), "Se detiene en el byte 4: falta TD1");
    const auto rates = describeAtr(decodeAtr(bytes("3B 10 A3")));
    EXPECT_EQ(rates.at(3), "TA1 A3: Fi 768, fmax 7,5 MHz, Di 4, 192 ciclos de reloj por ETU");
}

TEST(Describe, CyclesPerEtuKeepTheirFraction) {
    EXPECT_EQ(cyclesText(372.0 / 8), "46,5");
    EXPECT_EQ(cyclesText(1116.0 / 64), "17,4375");
    EXPECT_EQ(cyclesText(512.0), "512");
}

TEST(Describe, AnFciIndentedByLevelWithNamesAndMeanings) {
    const std::vector<std::string> expected{
        "6F [19] Plantilla FCI",
        "  82 [1] Descriptor de fichero: 38 (DF, no compartible)",
        "  83 [2] Identificador de fichero: 7F 10",
        "  84 [10] Nombre de DF: 4B 56 52 37 58 2E 44 45 4D 4F (\"KVR7X.DEMO\")",
    };
    EXPECT_EQ(describeTlv(decodeBerTlv(bytes("6F 13 82 01 38 83 02 7F 10 84 0A 4B 56 52 37 58 2E 44 45 4D 4F"))),
              expected);
}

}  // namespace
}  // namespace kvr::decode
