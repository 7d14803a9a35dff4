// The reader status messages and the time-out choice.
#include "session/command_console.h"
#include "session/status_message.h"

#include <kvr7x.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kvr::session {
namespace {

TEST(StatusMessage, EveryStatusOfTheTable) {
    struct Case {
        int32_t result;
        const char *message;
    };
    const Case cases[] = {
        {0x00, "Comando procesado correctamente"},
        {0x10, "Comando abortado por el usuario"},
        {0x20, "Longitud no válida"},
        {0x30, "Error de TimeOut"},
        {0x40, "Error de paridad"},
        {0x50, "No hay tarjeta"},
        {0x60, "Tarjeta no soportada"},
        {0x70, "Acceso denegado"},
        {0x80, "Error de tarjeta"},
        {0x90, "La tarjeta no responde"},
        {0xA0, "Error de overflow"},
        {0xB0, "Error en el chequeo"},
        {0xC0, "La tarjeta no está alimentada"},
        {0xD0, "Parametro no válido"},
        {0xE0, "Error de CRC"},
        {0xF0, "Comando desconocido"},
        {static_cast<int32_t>(0x80000000u), "El lector no responde (80000000 (hex))"},
        {0x51, "Error desconocido 81"},
        {0x01, "Error desconocido 1"},
        {0xFF, "Error desconocido 255"},
        {0x100, "Error desconocido 256"},
        {static_cast<int32_t>(0x80000002u), "Error desconocido -2147483646"},
        {static_cast<int32_t>(0x80000006u), "Error desconocido -2147483642"},
        {-1, "Error desconocido -1"},
    };
    for (const auto &c : cases) EXPECT_EQ(statusMessage(c.result), c.message) << c.result;
}

TEST(StatusMessage, EveryDriverErrorHasItsOwnMeaningAndTheRestNone) {
    std::set<std::string> meanings;
    for (uint32_t code :
         {KVR7X_ERR_FILE_NOT_FOUND, KVR7X_ERR_TOO_MANY_PORTS, KVR7X_ERR_ACCESS_DENIED, KVR7X_ERR_NOT_ENOUGH_MEMORY,
          KVR7X_ERR_INVALID_HANDLE, KVR7X_ERR_WRITE_CUT_OFF, KVR7X_ERR_LINE_FAILURE, KVR7X_ERR_NO_SERVER,
          KVR7X_ERR_CONNECTION_CLOSED, KVR7X_ERR_INVALID_PARAMETER, KVR7X_ERR_CONNECT_TIMEOUT, KVR7X_ERR_BAD_ADDRESS,
          KVR7X_ERR_ABORTED, 1234u}) {
        const std::string meaning = driverErrorMeaning(KVR7X_ERROR(code));
        EXPECT_FALSE(meaning.empty()) << code;
        EXPECT_TRUE(meanings.insert(meaning).second) << code << " shares its meaning: " << meaning;
        // The message stays the number, whatever its meaning.
        EXPECT_EQ(statusMessage(KVR7X_ERROR(code)), "Error desconocido " + std::to_string(KVR7X_ERROR(code)));
    }
    EXPECT_NE(driverErrorMeaning(KVR7X_ERROR(1234u)).find("1234"), std::string::npos);
    // The silent reader's message says it all; reader statuses are no
    // driver errors.
    for (int32_t r : {KVR7X_NO_ANSWER, 0x00, 0x51, 0xFF, 0x7FFFFFFF}) EXPECT_EQ(driverErrorMeaning(r), "") << r;
}

TEST(StatusMessage, OnlyTheSilentReaderAsksForAReset) {
    EXPECT_TRUE(asksToResetReader(static_cast<int32_t>(0x80000000u)));
    for (int32_t r : {0, 0x50, 0x90, -1, static_cast<int32_t>(0x80000002u), 0x7FFFFFFF})
        EXPECT_FALSE(asksToResetReader(r)) << r;
}

TEST(Timeout, InsertAndExtractWaitTenSeconds) {
    struct Case {
        const char *code, *ins;
        uint32_t timeout;
    };
    const Case cases[] = {
        {"20", "20", 10000}, {"20", "30", 10000}, {"20", "10", 1000}, {"20", "80", 1000},    {"21", "20", 1000},
        {"A1", "30", 1000},  {"  ", "  ", 1000},  {"20", "2 ", 1000}, {"20 ", "30 ", 10000}, {"2", "20", 1000},
    };
    for (const auto &c : cases) EXPECT_EQ(chooseTimeout(c.code, c.ins), c.timeout) << c.code << '/' << c.ins;
}

}  // namespace
}  // namespace kvr::session
