// Error codes of the keyed-file engine and the error an operation leaves.
//
// Every engine operation sets the last error of the file definition it was
// on (KeyedFile::lastError()): 0 on success, otherwise one of the codes
// below.  KeyedSystemError (90) means that the underlying database reported a
// problem the engine has no code of its own for; the database's own code and
// message are then the "driver" error.
//
//   code  text                                  when
//   ----  ------------------------------------  -------------------------------
//      2  "File Not Found"                      open/rebuild of a missing file
//      5  "Access Denied"                       file or folder not writable when
//                                                opened for writing, a write on
//                                                a file opened read-only
//     32  "File Is Already Locked"              open refused by another
//                                                process's sharing mode; a
//                                                transaction (or any write or
//                                                read) could not get the file
//                                                within its time-out
//     33  "Record Not Available"                no record before/after the
//                                                cursor, no current record
//     35  "Record Not Found"                    read back by position or record
//                                                number of a record that no
//                                                longer exists, bad position
//     37  "File Not Open"                       operation on a closed file
//     46  "Key File Must Be Rebuilt"            the key index is missing or not
//                                                the expected one
//     47  "Invalid Record Declaration"          a database that is not a keyed
//                                                file of this layout
//     52  "File Already Open"                   the file is already open in
//                                                this process
//     54  "File Already Exists"                 create over an existing file
//                                                (creating never replaces one)
//     56  "Transaction Already Active"          begin inside a transaction
//     57  "No Transaction Active"               commit without a transaction
//     89  "Record Changed By Another Station"   put/delete of a watched record
//                                                that another process changed
//                                                or deleted since it was read
//     90  "File System Error"                   anything else the database
//                                                reports (I/O errors, "file is
//                                                not a database", disk full...)
#ifndef KVR_KEYED_ERROR_H
#define KVR_KEYED_ERROR_H

#include <string>

namespace kvr::keyed {

enum KeyedErrorCode : int {
    KeyedOk = 0,
    KeyedNotFound = 2,
    KeyedAccessDenied = 5,
    KeyedLocked = 32,
    KeyedNotAvailable = 33,
    KeyedRecordNotFound = 35,
    KeyedNotOpen = 37,
    KeyedRebuildKeys = 46,
    KeyedBadDeclaration = 47,
    KeyedAlreadyOpen = 52,
    KeyedAlreadyExists = 54,
    KeyedTransactionActive = 56,
    KeyedNoTransaction = 57,
    KeyedChanged = 89,
    KeyedSystemError = 90,
};

// The engine's text for a code ("" for 0, "Unknown Error" for a code the
// engine never sets).
std::string keyedErrorTextFor(int code);

struct KeyedError {
    int code = 0;
    std::string file;        // name of the file the failing operation was on
    std::string driverCode;  // database's own (extended) result code, decimal
    std::string driverText;  // database's own message

    // The engine's text for the code.
    std::string text() const { return keyedErrorTextFor(code); }
};

}  // namespace kvr::keyed

#endif
