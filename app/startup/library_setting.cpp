#include "startup/library_setting.h"

#include "runtime/profile.h"
#include "runtime/settings_file.h"

#include <cstdlib>

namespace kvr::startup {

std::string libraryDatabaseSetting() {
    if (const char *forThisRun = std::getenv(LibraryVariable)) return forThisRun;
    return runtime::readProfileString(LibrarySection, LibraryKey, std::string(), runtime::kSettingsFile);
}

}  // namespace kvr::startup
