// The warning a station gets once at start when its command library is a
// file on a network drive (NFS, SMB, CIFS): the file's database cannot lock
// it reliably there, so stations sharing it may lose commands.  The warning
// points to the team library, a database server the stations share.
#ifndef KVR_LIBRARY_NETWORK_DRIVE_WARNING_H
#define KVR_LIBRARY_NETWORK_DRIVE_WARNING_H

#include "runtime/user_interaction.h"

#include <functional>
#include <string>

namespace kvr::library {

// The network file system holding a path, "" for a local one.
using FileSystemProbe = std::function<std::string(const std::string &path)>;

inline constexpr const char *kNetworkDriveCaption = "Biblioteca de comandos";

// The text for the file (its name as shown) on the network file system.
std::string networkDriveText(const std::string &file, const std::string &fileSystem);

// Shows the warning through interaction when path lies on a network file
// system; whether it did.
bool warnWhenOnNetworkDrive(runtime::UserInteraction &interaction, const std::string &path,
                            const FileSystemProbe &fileSystemOf);

}  // namespace kvr::library

#endif
