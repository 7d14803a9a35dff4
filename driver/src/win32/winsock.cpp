#include "win32/winsock.h"

#include <winsock2.h>

#include "serial_port.h"

namespace kvr7x {

bool winsockReady() {
    static const bool ready = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

uint32_t connectFailure(int wsaError) {
    switch (wsaError) {
    case WSAETIMEDOUT: return kErrConnectTimeout;
    case WSAEACCES: return kErrAccessDenied;
    default: return kErrBadNetPath;
    }
}

}  // namespace kvr7x
