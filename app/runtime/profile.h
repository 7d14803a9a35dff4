// The settings file: INI-format text, sections in square brackets, one
// key=value line per setting.
//
// Sections and keys are found regardless of letter case.  A missing file,
// section or key gives the caller's default; so does a file that cannot be
// read or is not text.  A write creates the file (and its folder) when
// missing and keeps every other section, key and comment and their order.
// The file is never kept open: each call is one complete read or update.
// A UTF-8 byte-order mark at its start is passed over, and kept by writes.
// A file that is not a settings file is moved aside by the next write, to
// FILE.bad; earlier ones move on to FILE.bad.1 and FILE.bad.2, and an older
// one is dropped.
// Values are bytes of the Western code page; surrounding blanks are removed
// on reading.
//
// A bare file name ("KVRMAN1.INI") means that file in the program's settings
// folder, $XDG_CONFIG_HOME/kvrman1 (~/.config/kvrman1 when XDG_CONFIG_HOME is
// not set); a name containing "/" is used as it stands.
#ifndef KVR_RUNTIME_PROFILE_H
#define KVR_RUNTIME_PROFILE_H

#include <string>

namespace kvr::runtime {

// The folder holding the program's settings.
std::string settingsFolder();

// The path a settings-file name resolves to.
std::string profilePath(const std::string &file);

std::string readProfileString(const std::string &section, const std::string &key, const std::string &defaultValue,
                              const std::string &file);

// Writes key=value in section; returns false when the file could not be
// written (the program carries on).
bool writeProfileString(const std::string &section, const std::string &key, const std::string &value,
                        const std::string &file);

}  // namespace kvr::runtime

#endif
