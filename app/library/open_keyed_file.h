// Opening a keyed record file with the usual recoveries: a locked file gets
// one "Recover=10" and a second open, a missing one is created (when allowed),
// damaged keys are rebuilt after asking; anything else ends the program.
#ifndef KVR_LIBRARY_OPEN_KEYED_FILE_H
#define KVR_LIBRARY_OPEN_KEYED_FILE_H

#include "keyed_file/keyed_file.h"

namespace kvr::library {

class Warnings;

// Opens file with access mode 42h when shared, else with mode.  Returns only
// with the file open (or already open in this process); otherwise ends the
// program through a standard warning.
void openKeyedFile(Warnings &warnings, keyed::KeyedFile &file, int mode, bool createWhenMissing, bool shared);

}  // namespace kvr::library

#endif
