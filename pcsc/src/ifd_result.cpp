#include "ifd_result.h"

#include "kvr7x.h"

namespace kvr7x::pcsc {

RESPONSECODE transmitResult(int32_t r) {
    if (r == 0) return IFD_SUCCESS;
    if (r == KVR7X_NO_ANSWER) return IFD_RESPONSE_TIMEOUT;
    if (r < 0) return IFD_COMMUNICATION_ERROR;
    switch (r) {
    case 0x50: return IFD_ICC_NOT_PRESENT;
    case 0x30:
    case 0x90: return IFD_RESPONSE_TIMEOUT;
    case 0x20:
    case 0x60:
    case 0xD0:
    case 0xF0: return IFD_NOT_SUPPORTED;
    default: return IFD_COMMUNICATION_ERROR;
    }
}

RESPONSECODE powerResult(int32_t r) {
    if (r == 0) return IFD_SUCCESS;
    if (r < 0) return IFD_COMMUNICATION_ERROR;
    if (r == 0x50) return IFD_ICC_NOT_PRESENT;
    return IFD_ERROR_POWER_ACTION;
}

bool lineLost(int32_t r) { return r < 0 && r != KVR7X_NO_ANSWER; }

}  // namespace kvr7x::pcsc
