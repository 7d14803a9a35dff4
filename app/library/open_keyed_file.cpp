#include "open_keyed_file.h"

#include "message_box.h"
#include "standard_warnings.h"

namespace kvr::library {

void OpenKeyedFile(runtime::KeyedFile &file, int mode, bool createWhenMissing, bool shared) {
    const int openMode = shared ? runtime::KeyedFile::kModeSharedReadWrite : mode;
    int code = file.open(openMode);
    if (code == runtime::KeyedLocked) {
        file.sendOption("Recover=10");
        code = file.open(openMode);
    }
    switch (code) {
    case runtime::KeyedOk:
    case runtime::KeyedAlreadyOpen: return;
    case runtime::KeyedNotFound:
        if (!createWhenMissing) RaiseWarning(4, file.name());
        // Another program may have made the file since the open above (two
        // started at once): that file is opened like one just created.
        if (int created = file.create(); created != runtime::KeyedOk && created != runtime::KeyedAlreadyExists)
            RaiseWarning(4, file.name());
        if (file.open(openMode) != runtime::KeyedOk) RaiseWarning(5, file.name());
        return;
    case runtime::KeyedBadDeclaration: RaiseWarning(1, file.name()); return;
    case runtime::KeyedRebuildKeys:
        RaiseWarning(2, file.name());
        if (file.buildKeys() != runtime::KeyedOk) RaiseWarning(3, file.name());
        code = file.open(openMode);
        break;
    default: break;
    }
    if (code != runtime::KeyedOk) {
        RaiseWarning(30, file.name());
        runtime::endProgram("Disk Error");
    }
}

}  // namespace kvr::library
