#include "keyed_file/sqlite/status.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>

namespace kvr::keyed::sqlite {

namespace {

// A change cut off by a killed program left its journal (or a log) that
// only a connection that may write the file can play back.
bool needsRecovery(int result) { return result == SQLITE_READONLY_ROLLBACK || result == SQLITE_READONLY_RECOVERY; }

int codeOfSqlite(int result) {
#ifdef SQLITE_CORRUPT_INDEX
    if (result == SQLITE_CORRUPT_INDEX) return KeyedRebuildKeys;
#endif
    // Not a file that may not be written: the file is no longer there, or
    // it needs a recovery that a read-only connection cannot make.
    if (result == SQLITE_READONLY_DBMOVED || needsRecovery(result)) return KeyedSystemError;
    switch (result & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return KeyedLocked;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return KeyedAccessDenied;
    default: return KeyedSystemError;
    }
}

int codeOfErrno(int errnoValue) {
    switch (errnoValue) {
    case ENOENT:
    case ENOTDIR: return KeyedNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return KeyedAccessDenied;
    default: return KeyedSystemError;
    }
}

}  // namespace

KeyedStatus statusOfErrno(int errnoValue) {
    return {codeOfErrno(errnoValue), std::to_string(errnoValue), std::strerror(errnoValue)};
}

KeyedStatus statusOfSqlite(int result, sqlite3 *db) {
    if (result == SQLITE_READONLY_DBMOVED)
        return {KeyedSystemError, std::to_string(result),
                "the file was deleted or replaced by another one while it was open"};
    if (needsRecovery(result))
        return {KeyedSystemError, std::to_string(result),
                "the file needs recovery by a program that may write it (a change was cut off and left its journal "
                "beside it)"};
    const bool own = db && sqlite3_extended_errcode(db) == result;
    return {codeOfSqlite(result), std::to_string(result), own ? sqlite3_errmsg(db) : sqlite3_errstr(result)};
}

}  // namespace kvr::keyed::sqlite
