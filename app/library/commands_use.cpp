#include "library/commands_use.h"

#include "library/commands_library.h"

namespace kvr::library {

void CommandsUse::acquire() {
    if (held_) return;
    library_.openCommands();  // returns with the file open or ends the program
    held_ = true;
}

void CommandsUse::release() {
    if (!held_) return;
    held_ = false;
    library_.closeCommands();
}

}  // namespace kvr::library
