// The manager's one settings file, read and written through profile.h: the
// port name, and the place of every window that keeps one.
#ifndef KVR_RUNTIME_SETTINGS_FILE_H
#define KVR_RUNTIME_SETTINGS_FILE_H

namespace kvr::runtime {

inline constexpr const char *kSettingsFile = "KVRMAN1.INI";

}  // namespace kvr::runtime

#endif
