#include "session/reader_link.h"

#include <kvr7x.h>

namespace kvr::session {

int32_t DriverLink::sendCommand(const CommandHeader &header, uint8_t *data, uint8_t *sw1, uint8_t *sw2,
                                int32_t *replyLength, uint32_t timeoutMs) {
    return QXSENDCOMMAND(portHandle_, header.code, header.cla, header.ins, header.p1, header.p2, header.p3, data, sw1,
                         sw2, replyLength, timeoutMs);
}

int32_t DriverLink::resetReader(int32_t *answerLength, uint8_t *data) {
    return QXRESET(portHandle_, answerLength, data);
}

}  // namespace kvr::session
