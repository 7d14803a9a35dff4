// Last error of the calling thread, after the classic GetLastError model:
// each thread sees the code of its own most recent port failure.
#include "serial_port.h"

namespace kvr7x {

namespace {
thread_local uint32_t t_lastError = kErrNone;
}

uint32_t lastError() { return t_lastError; }

void setLastError(uint32_t code) { t_lastError = code; }

}  // namespace kvr7x
