#include "keyed_file/postgres/socket_ready.h"

#include <winsock2.h>

namespace kvr::keyed::pg {

bool socketReady(int socket, bool forWriting) {
    if (socket < 0) return false;
    WSAPOLLFD ready{static_cast<SOCKET>(socket), static_cast<short>(forWriting ? POLLWRNORM : POLLRDNORM), 0};
    return ::WSAPoll(&ready, 1, 0) == 1;
}

}  // namespace kvr::keyed::pg
