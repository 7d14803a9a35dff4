// Exchanges of the history kept as a card script (each command with its
// reply as the expectation, so that the script passes when run again) or as
// kvr7x-emu --rules lines (so that the emulator answers them from then on):
// the history window's "Guardar como &guión..." and "Guardar como
// &reglas...".
#ifndef KVR_SESSION_EXCHANGE_SCRIPT_H
#define KVR_SESSION_EXCHANGE_SCRIPT_H

#include "session/exchange_history.h"

#include <string>
#include <vector>

namespace kvr::session {

// The exchanges as script lines: "send CODE CLA INS P1 P2 P3 [DATA] =>
// EXPECTATION", "reset => IDENTIFICATION".
std::string exchangesAsScript(const std::vector<const Exchange *> &exchanges);

// The exchanges as emulator rules, a frame answered otherwise than before
// kept as a comment.
std::string exchangesAsRules(const std::vector<const Exchange *> &exchanges);

// Writes the text to the file, replacing it; false with the system's reason
// in `error`.
[[nodiscard]] bool writeTextFile(const std::string &path, const std::string &text, std::string &error);

}  // namespace kvr::session

#endif
