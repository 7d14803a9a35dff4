// Last error of the calling thread on Windows: as on POSIX, and also the
// thread's own Windows last error, so that a program that asks
// GetLastError() after a failed call (QXOPEN's -1) learns the reason the
// way it would from any Windows call.
#include <windows.h>

#include "serial_port.h"

namespace kvr7x {

namespace {
thread_local uint32_t t_lastError = kErrTimeout;
thread_local std::string t_lastErrorText;
}  // namespace

uint32_t lastError() { return t_lastError; }

void setLastError(uint32_t code) {
    t_lastError = code;
    SetLastError(code);
}

const std::string &lastErrorText() { return t_lastErrorText; }

void setLastErrorText(std::string text) { t_lastErrorText = std::move(text); }

}  // namespace kvr7x
