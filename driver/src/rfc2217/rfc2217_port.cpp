// Placeholder until the network transport lands: network names cannot be
// opened yet.
#include "rfc2217/rfc2217_port.h"

namespace kvr7x {

std::unique_ptr<SerialPort> openRfc2217Port(const std::string &) {
    setLastError(kErrFileNotFound);
    return nullptr;
}

}  // namespace kvr7x
