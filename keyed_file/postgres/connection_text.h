// A connection string as the operator may see it: who, where and which
// database, never a password.
#ifndef KVR_KEYED_POSTGRES_CONNECTION_TEXT_H
#define KVR_KEYED_POSTGRES_CONNECTION_TEXT_H

#include <string>

namespace kvr::keyed::pg {

// "user@host:port/dbname" with the parts the string gives (libpq's defaults
// fill in nothing); the string as it stands, cut at its first password,
// when libpq cannot read it.
std::string connectionText(const std::string &conninfo);

}  // namespace kvr::keyed::pg

#endif
