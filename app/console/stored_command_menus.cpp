#include "console/stored_command_menus.h"

namespace kvr::console {

void buildStoredCommandMenus(runtime::Menus &) {}

}  // namespace kvr::console
