// The status-word table: every entry once, in order, each range found at
// both of its ends and not beyond them, and the meanings of the status words
// operators meet most, counts filled in.
#include "session/status_word.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <utility>

namespace kvr::session {
namespace {

std::string hex4(unsigned sw) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", sw);
    return text;
}

const StatusWordEntry *find(unsigned sw) {
    return findStatusWord(static_cast<uint8_t>(sw >> 8), static_cast<uint8_t>(sw & 0xFF));
}

TEST(StatusWord, EveryEntryIsInTheTableOnceInOrderWithAText) {
    std::set<std::pair<uint16_t, uint16_t>> seen;
    std::set<std::string> texts;
    unsigned previous = 0;
    for (const StatusWordEntry &entry : statusWordTable()) {
        SCOPED_TRACE(hex4(entry.value) + " mask " + hex4(entry.mask));
        EXPECT_TRUE(seen.insert({entry.mask, entry.value}).second) << "listed twice";
        EXPECT_TRUE(texts.insert(entry.text).second) << "shares its text: " << entry.text;
        EXPECT_EQ(entry.value & ~entry.mask & 0xFFFF, 0) << "open bits set in the value";
        EXPECT_TRUE(entry.mask == 0xFFFF || entry.mask == 0xFFF0 || entry.mask == 0xFF00);
        EXPECT_GE(entry.first(), previous) << "out of order";
        previous = entry.first();
        EXPECT_FALSE(std::string(entry.text).empty());
        const bool counts = entry.count != StatusWordEntry::Count::None;
        EXPECT_EQ(std::string(entry.text).find("{n}") != std::string::npos, counts);
    }
}

TEST(StatusWord, EveryRangeIsFoundAtBothEndsAndNotBeyond) {
    int ranges = 0;
    for (const StatusWordEntry &entry : statusWordTable()) {
        if (entry.mask == 0xFFFF) continue;
        ++ranges;
        SCOPED_TRACE(hex4(entry.value) + " mask " + hex4(entry.mask));
        for (unsigned end : {unsigned(entry.first()), unsigned(entry.last())}) {
            SCOPED_TRACE("end " + hex4(end));
            const StatusWordEntry *found = find(end);
            ASSERT_NE(found, nullptr);
            // Only a single status word listed at that end can take it.
            EXPECT_EQ(found == &entry, !(found->mask == 0xFFFF && found->value == end));
        }
        for (unsigned beyond : {unsigned(entry.first()) - 1, unsigned(entry.last()) + 1}) {
            SCOPED_TRACE("beyond " + hex4(beyond));
            EXPECT_NE(find(beyond), &entry);
        }
    }
    // 61xx, 62xx, 63xx, 63Cx, 64xx to 6Fxx.
    EXPECT_EQ(ranges, 16);
}

TEST(StatusWord, MeaningsOfTheCommonStatusWordsWithTheirCounts) {
    struct Case {
        unsigned sw;
        const char *meaning;  // "" for a status word the table does not know
    };
    const Case cases[] = {
        {0x9000, "Proceso correcto"},
        {0x611A, "Correcto: quedan 26 bytes de respuesta por leer con GET RESPONSE"},
        {0x6100, "Correcto: quedan 256 bytes de respuesta por leer con GET RESPONSE"},
        {0x6283, "Aviso: el fichero seleccionado está invalidado"},
        {0x6290, "Aviso: la memoria no ha cambiado"},
        {0x63C3, "Aviso: el contador vale 3 (en una verificación, intentos que quedan)"},
        {0x63C0, "Aviso: el contador vale 0 (en una verificación, intentos que quedan)"},
        {0x63BF, "Aviso: la memoria ha cambiado"},
        {0x63D0, "Aviso: la memoria ha cambiado"},
        {0x6700, "Longitud incorrecta (Lc o Le)"},
        {0x6982, "Estado de seguridad no satisfecho"},
        {0x6983, "Método de autenticación bloqueado"},
        {0x6985, "Condiciones de uso no satisfechas"},
        {0x6A80, "Parámetros incorrectos en el campo de datos"},
        {0x6A81, "Función no admitida"},
        {0x6A82, "Fichero o aplicación no encontrado"},
        {0x6A83, "Registro no encontrado"},
        {0x6A86, "Parámetros P1-P2 incorrectos"},
        {0x6A88, "Datos de referencia no encontrados"},
        {0x6A99, "Parámetros incorrectos"},
        {0x6B00, "Parámetros P1-P2 incorrectos (fuera del fichero o del rango)"},
        {0x6C10, "Le incorrecto: la longitud disponible es 16 bytes"},
        {0x6D00, "Instrucción (INS) no admitida o no válida"},
        {0x6E00, "Clase (CLA) no admitida"},
        {0x6F00, "Error sin diagnóstico preciso"},
        {0x6FFF, "Error interno de la tarjeta; SW2 propio de la aplicación"},
        {0x9001, ""},
        {0x9100, ""},
        {0x60FF, ""},
        {0x7000, ""},
        {0x0000, ""},
        {0xFFFF, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(hex4(c.sw));
        EXPECT_EQ(statusWordMeaning(static_cast<uint8_t>(c.sw >> 8), static_cast<uint8_t>(c.sw & 0xFF)), c.meaning);
        const std::string sw = hex4(c.sw);
        EXPECT_EQ(statusWordMeaning(sw.substr(0, 2), sw.substr(2)), c.meaning) << "from the reply fields";
    }
}

TEST(StatusWord, BlankOrNonHexFieldsMeanNothing) {
    const std::pair<const char *, const char *> fields[] = {{"  ", "  "}, {"90", "  "}, {"6a", "82"}, {"9", "000"}};
    for (const auto &[sw1, sw2] : fields) EXPECT_EQ(statusWordMeaning(sw1, sw2), "") << sw1 << '/' << sw2;
}

}  // namespace
}  // namespace kvr::session
