// Results of the file system and of SQLite as the engine's error
// (keyed_error.h): the engine code, with the errno or SQLite result and its
// message as the driver's own code and text.
#ifndef KVR_KEYED_SQLITE_STATUS_H
#define KVR_KEYED_SQLITE_STATUS_H

#include "keyed_file/keyed_store.h"

struct sqlite3;

namespace kvr::keyed::sqlite {

// ENOENT, ENOTDIR: KeyedNotFound; EACCES, EPERM, EROFS: KeyedAccessDenied; anything else KeyedSystemError.
KeyedStatus statusOfErrno(int errnoValue);

// SQLITE_BUSY, SQLITE_LOCKED: KeyedLocked; SQLITE_READONLY, SQLITE_PERM,
// SQLITE_AUTH: KeyedAccessDenied, except a file deleted or replaced while open (KeyedSystemError, "the
// file was deleted or replaced by another one while it was open"); an index
// entry found missing or out of place: KeyedRebuildKeys; anything else KeyedSystemError.  The message is the
// connection's own when its last error is this result, else SQLite's text for the result (damage the engine found
// itself reads "database disk image is malformed").
KeyedStatus statusOfSqlite(int result, sqlite3 *db);

}  // namespace kvr::keyed::sqlite

#endif
