// Where the command library is kept: [Commands] Database= in the settings
// file, unless the environment variable KVR_COMMANDS_DB gives it for one run
// (set to an empty value, it means the file).  Empty or absent means
// COMMANDS.tps in the current directory; otherwise a libpq connection string
// of the team library ("postgresql://user@host/dbname").  The password is
// never kept in the settings file: libpq takes it from ~/.pgpass or
// PGPASSWORD.
#ifndef KVR_STARTUP_LIBRARY_SETTING_H
#define KVR_STARTUP_LIBRARY_SETTING_H

#include <string>

namespace kvr::startup {

inline constexpr const char *LibrarySection = "Commands";
inline constexpr const char *LibraryKey = "Database";
inline constexpr const char *LibraryVariable = "KVR_COMMANDS_DB";

std::string libraryDatabaseSetting();

}  // namespace kvr::startup

#endif
