// Whether a socket that libpq owns can be read or written now, without
// waiting: one look, for a connection made step by step (PQconnectPoll).
#ifndef KVR_KEYED_POSTGRES_SOCKET_READY_H
#define KVR_KEYED_POSTGRES_SOCKET_READY_H

namespace kvr::keyed::pg {

// socket: PQsocket's value; false for a negative one.
bool socketReady(int socket, bool forWriting);

}  // namespace kvr::keyed::pg

#endif
