#include "commands_use.h"

namespace kvr::console {

// COMMANDS use-count call site: the command library's open and close of
// COMMANDS go here once that library is part of the program.
void CommandsUse::acquire() { held_ = true; }

void CommandsUse::release() {
    if (!held_) return;
    held_ = false;
}

}  // namespace kvr::console
