#include "session/status_message.h"

#include <kvr7x.h>

namespace kvr::session {

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

std::string driverErrorMeaning(int32_t result) {
    if (result >= 0 || result == kReaderSilent) return {};
    switch (static_cast<uint32_t>(result) & 0x7FFFFFFFu) {
    case KVR7X_ERR_FILE_NOT_FOUND: return "El puerto no existe o ha desaparecido (¿se ha desconectado el adaptador?)";
    case KVR7X_ERR_TOO_MANY_PORTS: return "Hay demasiados puertos abiertos";
    case KVR7X_ERR_ACCESS_DENIED: return "El puerto está en uso por otro programa o no hay permiso para usarlo";
    case KVR7X_ERR_NOT_ENOUGH_MEMORY: return "El controlador no tuvo memoria o un hilo para la llamada";
    case KVR7X_ERR_INVALID_HANDLE: return "El puerto no está abierto";
    case KVR7X_ERR_WRITE_CUT_OFF: return "Un envío al puerto de red quedó cortado; Lector > Reset lo conecta de nuevo";
    case KVR7X_ERR_LINE_FAILURE: return "Fallo de la línea serie";
    case KVR7X_ERR_NO_SERVER: return "No hay ningún servidor en la dirección del puerto de red";
    case KVR7X_ERR_CONNECTION_CLOSED:
        return "El servidor del puerto de red ha cerrado la conexión con el lector; Lector > Reset la abre de nuevo";
    case KVR7X_ERR_INVALID_PARAMETER: return "El controlador rechazó un parámetro antes de enviar nada";
    case KVR7X_ERR_CONNECT_TIMEOUT: return "El puerto de red no contestó a tiempo";
    case KVR7X_ERR_BAD_ADDRESS: return "La dirección del puerto de red no es válida";
    case KVR7X_ERR_ABORTED: return "El puerto se cerró mientras se esperaba la respuesta";
    default: return "Error del sistema " + std::to_string(static_cast<uint32_t>(result) & 0x7FFFFFFFu);
    }
}

}  // namespace kvr::session
