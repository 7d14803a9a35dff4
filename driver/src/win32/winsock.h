// Winsock for the library: started once, on first use, and kept for the
// life of the process (a library must not call WSACleanup under the
// loader lock, and the process's end frees it anyway).
#ifndef KVR7X_WIN32_WINSOCK_H
#define KVR7X_WIN32_WINSOCK_H

#include <cstdint>

namespace kvr7x {

// True when Winsock 2.2 is ready for this process.
[[nodiscard]] bool winsockReady();

// A Winsock error as the library's error catalogue has it: a time-out is
// 121, a refusal of rights 5, every other failure to reach a server 53.
uint32_t connectFailure(int wsaError);

}  // namespace kvr7x

#endif
