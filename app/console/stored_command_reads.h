// What a build of the stored-command menus reads of COMMANDS: the first
// records in key order, as many as the "&Tarjeta" menu can take, and the
// SAM card groups (card names beginning with "SAM" in any letter case, one
// stretch of the key order) as many as the "&SAM" menu can take.  What
// follows each is counted by the store, not read, so that a build costs
// the same for a file of a thousand records and one of a million.
#ifndef KVR_CONSOLE_STORED_COMMAND_READS_H
#define KVR_CONSOLE_STORED_COMMAND_READS_H

#include "session/stored_command_plan.h"
#include "keyed_file/keyed_file.h"

namespace kvr::console {

// Reads rows for planStoredCommandMenus.  KeyedOk; KeyedSystemError for a
// damaged file, with the rows read before the damage (the build offers
// those); another code when the file cannot be read now (the rows are then
// not to be used).  One read in key order for each menu and, where the
// menus cannot take every record, one count of those left.
int readStoredCommandRows(keyed::KeyedFile &file, session::StoredCommandRows &rows);

}  // namespace kvr::console

#endif
