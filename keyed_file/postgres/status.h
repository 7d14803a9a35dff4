// Results of libpq and of the server as the engine's error (keyed_error.h):
// the engine code, with libpq's status number and the server's own message
// (on one line) as the driver's code and text.
//
//   lock not available (lock_timeout, NOWAIT), deadlock,
//   serialization failure                                       KeyedLocked
//   anything else: unreachable server, authentication, a
//   dropped connection, privileges, a full disk, a statement
//   the server cancelled (statement_timeout) ...                KeyedSystemError
#ifndef KVR_KEYED_POSTGRES_STATUS_H
#define KVR_KEYED_POSTGRES_STATUS_H

#include "keyed_file/keyed_store.h"

#include <libpq-fe.h>

#include <string>
#include <string_view>

namespace kvr::keyed::pg {

// A failed statement; conn gives the message when the result has none.
KeyedStatus statusOfResult(const PGresult *result, PGconn *conn);
// A connection that could not be made or was lost.
KeyedStatus statusOfConnection(PGconn *conn);
// A failure of the store's own, with its message.
KeyedStatus systemError(std::string_view text);

// The engine code for a SQLSTATE.
int codeOfSqlState(std::string_view state);

// Text with every run of white space made one space, no space at the ends.
std::string oneLine(std::string_view text);

}  // namespace kvr::keyed::pg

#endif
