// The reader status messages shown in the main window's status bar.
#ifndef KVR_SESSION_STATUS_MESSAGE_H
#define KVR_SESSION_STATUS_MESSAGE_H

#include <cstdint>
#include <string>

namespace kvr::session {

// The driver result that means the reader did not answer at all.
inline constexpr int32_t kReaderSilent = INT32_MIN;  // 0x80000000

// The message for a driver result (UTF-8): one per status byte that is a
// multiple of 16, the silent-reader text for 0x80000000, and
// "Error desconocido " with the result in signed decimal for anything else.
std::string statusMessage(int32_t result);

// What a driver error result means, in a sentence for the status bar's tip
// (UTF-8): the message itself stays "Error desconocido" with the number, and
// the tip says what went wrong (the connection to a network port closed,
// the device vanished ...).  Empty for results that are no driver error and
// for 0x80000000, whose message says it already.
std::string driverErrorMeaning(int32_t result);

// Whether the result calls for the reader-not-responding question.
inline bool asksToResetReader(int32_t result) { return result == kReaderSilent; }

// The reader-not-responding question.
inline constexpr const char *kSilentReaderCaption = "AVISO";
inline constexpr const char *kSilentReaderQuestion =
    "Ha transcurrido el tiempo límite de espera y el lector no ha respondido al "
    "comando. ¿Desea resetear el lector?";

}  // namespace kvr::session

#endif
