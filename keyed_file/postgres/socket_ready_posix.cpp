#include "keyed_file/postgres/socket_ready.h"

#include <poll.h>

namespace kvr::keyed::pg {

bool socketReady(int socket, bool forWriting) {
    if (socket < 0) return false;
    pollfd ready{socket, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
    return ::poll(&ready, 1, 0) == 1;
}

}  // namespace kvr::keyed::pg
