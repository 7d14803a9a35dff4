// Results of the file system and of SQLite as the engine's error
// (keyed_error.h): the engine code, with the errno or SQLite result and its
// message as the driver's own code and text.
#ifndef KVR_RUNTIME_SQLITE_STATUS_H
#define KVR_RUNTIME_SQLITE_STATUS_H

#include "runtime/keyed_file/keyed_store.h"

struct sqlite3;

namespace kvr::runtime::sqlite {

// ENOENT, ENOTDIR: 2; EACCES, EPERM, EROFS: 5; anything else 90.
KeyedStatus statusOfErrno(int errnoValue);

// SQLITE_BUSY, SQLITE_LOCKED: 32; SQLITE_READONLY, SQLITE_PERM,
// SQLITE_AUTH: 5, except a file deleted or replaced while open (90, "the
// file was deleted or replaced by another one while it was open"); an index
// entry found missing or out of place: 46; anything else 90.  The message is the connection's own when its last
// error is this result, else SQLite's text for the result (damage the
// engine found itself reads "database disk image is malformed").
KeyedStatus statusOfSqlite(int result, sqlite3 *db);

}  // namespace kvr::runtime::sqlite

#endif
