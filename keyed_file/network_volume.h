// Whether a file lies on a network file system, where SQLite's locking
// cannot be trusted: several stations writing one database file there may
// lose or damage records.
#ifndef KVR_KEYED_NETWORK_VOLUME_H
#define KVR_KEYED_NETWORK_VOLUME_H

#include <string>

namespace kvr::keyed {

// "NFS", "SMB" or "CIFS" for the file system of the given statfs type, ""
// for any other.
std::string networkFileSystemOfType(unsigned long type);

// The network file system holding path (a file, or the folder a file will
// be made in), "" when it is a local one or cannot be told.  The platform
// seam: statfs on POSIX (network_volume_posix.cpp), the drive type of the
// path's volume on Windows (network_volume_win32.cpp).
std::string networkFileSystemOf(const std::string &path);

}  // namespace kvr::keyed

#endif
