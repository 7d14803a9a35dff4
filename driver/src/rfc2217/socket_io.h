// The few socket operations a network serial port needs, so that the port
// itself is the same on every system: only this shell and the connection
// set-up (tcp_connect.h) differ between POSIX sockets and Winsock.
#ifndef KVR7X_RFC2217_SOCKET_IO_H
#define KVR7X_RFC2217_SOCKET_IO_H

#include <cstddef>
#include <cstdint>

namespace kvr7x::rfc2217 {

#ifdef _WIN32
using SocketHandle = uintptr_t;  // a Winsock SOCKET
inline constexpr SocketHandle kNoSocket = ~static_cast<uintptr_t>(0);
#else
using SocketHandle = int;  // a file descriptor
inline constexpr SocketHandle kNoSocket = -1;
#endif

// Waits at most `ms` milliseconds (-1: no limit) until the connection has
// something to look at: bytes to read, its end or its failure, including
// by shutdownSocket() from another thread.  Reads nothing, so that the
// reading itself can be done under a lock (receiveWithin with no wait).
// False when the time passed first; true also when a signal or a failure
// of the wait ended it, which the read that follows sorts out.
[[nodiscard]] bool waitReadable(SocketHandle s, int ms);

// Waits at most `ms` milliseconds (-1: no limit, 0: not at all) for the
// connection to have something to read and reads up to n bytes of it: the
// count (above 0), 0 when nothing came in time (or a signal cut the wait
// short), or -1 when the connection has ended or failed, including by
// shutdownSocket() from another thread.
ptrdiff_t receiveWithin(SocketHandle s, uint8_t *buf, size_t n, int ms);

// Sends what the socket takes now, without waiting: the count sent (0 when
// it would have to wait), or -1 when the connection failed.
[[nodiscard]] ptrdiff_t sendSome(SocketHandle s, const uint8_t *bytes, size_t n);

// Waits at most `ms` milliseconds for room to send.  False when the wait
// itself failed.
[[nodiscard]] bool waitWritable(SocketHandle s, int ms);

// Ends both directions: a receiveWaiting() in another thread returns.
void shutdownSocket(SocketHandle s);
void closeSocket(SocketHandle s);

}  // namespace kvr7x::rfc2217

#endif
