#include "console/status_message.h"

namespace kvr::console {

std::string statusMessage(int32_t result) {
    switch (result) {
    case 0x00: return "Comando procesado correctamente";
    case 0x10: return "Comando abortado por el usuario";
    case 0x20: return "Longitud no válida";
    case 0x30: return "Error de TimeOut";
    case 0x40: return "Error de paridad";
    case 0x50: return "No hay tarjeta";
    case 0x60: return "Tarjeta no soportada";
    case 0x70: return "Acceso denegado";
    case 0x80: return "Error de tarjeta";
    case 0x90: return "La tarjeta no responde";
    case 0xA0: return "Error de overflow";
    case 0xB0: return "Error en el chequeo";
    case 0xC0: return "La tarjeta no está alimentada";
    case 0xD0: return "Parametro no válido";
    case 0xE0: return "Error de CRC";
    case 0xF0: return "Comando desconocido";
    case kReaderSilent: return "El lector no responde (80000000 (hex))";
    default: return "Error desconocido " + std::to_string(result);
    }
}

}  // namespace kvr::console
