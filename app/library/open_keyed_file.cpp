#include "library/open_keyed_file.h"

#include "library/standard_warnings.h"
#include "runtime/message_box.h"

namespace kvr::library {

void openKeyedFile(Warnings &warnings, keyed::KeyedFile &file, int mode, bool createWhenMissing, bool shared) {
    const int openMode = shared ? keyed::KeyedFile::kModeSharedReadWrite : mode;
    int code = file.open(openMode);
    if (code == keyed::KeyedLocked) {
        file.sendOption("Recover=10");
        code = file.open(openMode);
    }
    switch (code) {
    case keyed::KeyedOk:
    case keyed::KeyedAlreadyOpen: return;
    case keyed::KeyedNotFound:
        if (!createWhenMissing) warnings.halt(Warning::FileCreationFailed, file.lastError(), file.name());
        // Another program may have made the file since the open above (two
        // started at once): that file is opened like one just created.
        if (int created = file.create(); created != keyed::KeyedOk && created != keyed::KeyedAlreadyExists)
            warnings.halt(Warning::FileCreationFailed, file.lastError(), file.name());
        if (file.open(openMode) != keyed::KeyedOk)
            warnings.halt(Warning::CreatedFileOpenFailed, file.lastError(), file.name());
        return;
    case keyed::KeyedBadDeclaration: warnings.halt(Warning::InvalidFile, file.lastError(), file.name());
    case keyed::KeyedRebuildKeys:
        warnings.ask(Warning::InvalidKey, file.lastError(), file.name());  // answered No, the program ends here
        if (file.buildKeys() != keyed::KeyedOk) warnings.halt(Warning::KeyRebuildFailed, file.lastError(), file.name());
        code = file.open(openMode);
        break;
    default: break;
    }
    if (code != keyed::KeyedOk) {
        warnings.tell(Warning::FileAccessFailed, file.lastError(), file.name());
        runtime::endProgram(warnings.interaction(), "Disk Error");
    }
}

}  // namespace kvr::library
