#include "commands_use.h"

#include "commands_file.h"

namespace kvr::library {

void CommandsUse::acquire() {
    if (held_) return;
    openCommandsFile();  // returns with the file open or ends the program
    held_ = true;
}

void CommandsUse::release() {
    if (!held_) return;
    held_ = false;
    closeCommandsFile();
}

}  // namespace kvr::library
