#include "session/status_word.h"

#include <array>

namespace kvr::session {

namespace {

using Count = StatusWordEntry::Count;

constexpr uint16_t kOne = 0xFFFF;     // one status word
constexpr uint16_t kNibble = 0xFFF0;  // 63Cx
constexpr uint16_t kAnySw2 = 0xFF00;  // 6Axx

constexpr std::array kTable{
    // Normal processing
    StatusWordEntry{kAnySw2, 0x6100, "Correcto: quedan {n} bytes de respuesta por leer con GET RESPONSE", Count::Sw2},
    // Warnings, memory left as it was
    StatusWordEntry{kAnySw2, 0x6200, "Aviso: la memoria no ha cambiado"},
    StatusWordEntry{kOne, 0x6281, "Aviso: parte de los datos devueltos puede estar dañada"},
    StatusWordEntry{kOne, 0x6282, "Aviso: se llegó al final del fichero o registro antes de leer Le bytes"},
    StatusWordEntry{kOne, 0x6283, "Aviso: el fichero seleccionado está invalidado"},
    StatusWordEntry{kOne, 0x6284, "Aviso: la información de control del fichero no tiene el formato esperado"},
    StatusWordEntry{kOne, 0x6285, "Aviso: el fichero seleccionado está en estado de terminación"},
    StatusWordEntry{kOne, 0x6286, "Aviso: el sensor no tiene datos de entrada disponibles"},
    // Warnings, memory changed
    StatusWordEntry{kAnySw2, 0x6300, "Aviso: la memoria ha cambiado"},
    StatusWordEntry{kOne, 0x6381, "Aviso: el fichero se ha llenado con la última escritura"},
    StatusWordEntry{kNibble, 0x63C0, "Aviso: el contador vale {n} (en una verificación, intentos que quedan)",
                    Count::LowNibble},
    // Execution errors
    StatusWordEntry{kAnySw2, 0x6400, "Error de ejecución: la memoria no ha cambiado"},
    StatusWordEntry{kOne, 0x6401, "Error de ejecución: la tarjeta pide una respuesta inmediata"},
    StatusWordEntry{kAnySw2, 0x6500, "Error de ejecución: la memoria ha cambiado"},
    StatusWordEntry{kOne, 0x6581, "Error de ejecución: fallo de memoria"},
    StatusWordEntry{kAnySw2, 0x6600, "Error de seguridad"},
    // Checking errors
    StatusWordEntry{kOne, 0x6700, "Longitud incorrecta (Lc o Le)"},
    StatusWordEntry{kAnySw2, 0x6700, "Longitud incorrecta; SW2 propio de la aplicación"},
    StatusWordEntry{kAnySw2, 0x6800, "Función de la clase (CLA) no admitida"},
    StatusWordEntry{kOne, 0x6881, "Canal lógico no admitido"},
    StatusWordEntry{kOne, 0x6882, "Mensajería segura no admitida"},
    StatusWordEntry{kOne, 0x6883, "Se esperaba el último comando de la cadena"},
    StatusWordEntry{kOne, 0x6884, "Encadenamiento de comandos no admitido"},
    StatusWordEntry{kAnySw2, 0x6900, "Comando no permitido"},
    StatusWordEntry{kOne, 0x6981, "Comando incompatible con la estructura del fichero"},
    StatusWordEntry{kOne, 0x6982, "Estado de seguridad no satisfecho"},
    StatusWordEntry{kOne, 0x6983, "Método de autenticación bloqueado"},
    StatusWordEntry{kOne, 0x6984, "Datos de referencia inutilizables"},
    StatusWordEntry{kOne, 0x6985, "Condiciones de uso no satisfechas"},
    StatusWordEntry{kOne, 0x6986, "Comando no permitido: no hay ningún EF seleccionado"},
    StatusWordEntry{kOne, 0x6987, "Faltan los objetos de datos de mensajería segura esperados"},
    StatusWordEntry{kOne, 0x6988, "Objetos de datos de mensajería segura incorrectos"},
    StatusWordEntry{kAnySw2, 0x6A00, "Parámetros incorrectos"},
    StatusWordEntry{kOne, 0x6A80, "Parámetros incorrectos en el campo de datos"},
    StatusWordEntry{kOne, 0x6A81, "Función no admitida"},
    StatusWordEntry{kOne, 0x6A82, "Fichero o aplicación no encontrado"},
    StatusWordEntry{kOne, 0x6A83, "Registro no encontrado"},
    StatusWordEntry{kOne, 0x6A84, "No queda espacio suficiente en el fichero"},
    StatusWordEntry{kOne, 0x6A85, "Lc no concuerda con la estructura TLV"},
    StatusWordEntry{kOne, 0x6A86, "Parámetros P1-P2 incorrectos"},
    StatusWordEntry{kOne, 0x6A87, "Lc no concuerda con P1-P2"},
    StatusWordEntry{kOne, 0x6A88, "Datos de referencia no encontrados"},
    StatusWordEntry{kOne, 0x6A89, "El fichero ya existe"},
    StatusWordEntry{kOne, 0x6A8A, "El nombre de DF ya existe"},
    StatusWordEntry{kOne, 0x6B00, "Parámetros P1-P2 incorrectos (fuera del fichero o del rango)"},
    StatusWordEntry{kAnySw2, 0x6B00, "Parámetros P1-P2 incorrectos; SW2 propio de la aplicación"},
    StatusWordEntry{kAnySw2, 0x6C00, "Le incorrecto: la longitud disponible es {n} bytes", Count::Sw2},
    StatusWordEntry{kOne, 0x6D00, "Instrucción (INS) no admitida o no válida"},
    StatusWordEntry{kAnySw2, 0x6D00, "Instrucción (INS) no admitida; SW2 propio de la aplicación"},
    StatusWordEntry{kOne, 0x6E00, "Clase (CLA) no admitida"},
    StatusWordEntry{kAnySw2, 0x6E00, "Clase (CLA) no admitida; SW2 propio de la aplicación"},
    StatusWordEntry{kOne, 0x6F00, "Error sin diagnóstico preciso"},
    StatusWordEntry{kAnySw2, 0x6F00, "Error interno de la tarjeta; SW2 propio de la aplicación"},
    StatusWordEntry{kOne, 0x9000, "Proceso correcto"},
};

// How many bits of a mask are set: the more, the more specific the entry.
int specificity(uint16_t mask) {
    int bits = 0;
    for (uint16_t m = mask; m != 0; m = static_cast<uint16_t>(m & (m - 1))) ++bits;
    return bits;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::span<const StatusWordEntry> statusWordTable() { return kTable; }

const StatusWordEntry *findStatusWord(uint8_t sw1, uint8_t sw2) {
    const auto sw = static_cast<uint16_t>(sw1 << 8 | sw2);
    const StatusWordEntry *found = nullptr;
    for (const StatusWordEntry &entry : kTable)
        if (entry.covers(sw) && (!found || specificity(entry.mask) > specificity(found->mask))) found = &entry;
    return found;
}

std::string statusWordMeaning(uint8_t sw1, uint8_t sw2) {
    const StatusWordEntry *entry = findStatusWord(sw1, sw2);
    if (!entry) return {};
    std::string text = entry->text;
    int count = 0;
    switch (entry->count) {
    case StatusWordEntry::Count::None: return text;
    case StatusWordEntry::Count::Sw2: count = sw2 == 0 ? 256 : sw2; break;
    case StatusWordEntry::Count::LowNibble: count = sw2 & 0x0F; break;
    }
    if (const auto at = text.find("{n}"); at != std::string::npos) text.replace(at, 3, std::to_string(count));
    return text;
}

std::string statusWordMeaning(const std::string &sw1Field, const std::string &sw2Field) {
    if (sw1Field.size() != 2 || sw2Field.size() != 2) return {};
    const int digits[] = {hexDigit(sw1Field[0]), hexDigit(sw1Field[1]), hexDigit(sw2Field[0]), hexDigit(sw2Field[1])};
    for (int d : digits)
        if (d < 0) return {};
    return statusWordMeaning(static_cast<uint8_t>(digits[0] << 4 | digits[1]),
                             static_cast<uint8_t>(digits[2] << 4 | digits[3]));
}

}  // namespace kvr::session
