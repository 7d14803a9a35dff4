// Last error of the calling thread, after the classic GetLastError model:
// each thread sees the code of its own most recent port failure, and the
// text that explains it where a code cannot.
#include "serial_port.h"

namespace kvr7x {

namespace {
thread_local uint32_t t_lastError = kErrTimeout;
thread_local std::string t_lastErrorText;
}  // namespace

uint32_t lastError() { return t_lastError; }

void setLastError(uint32_t code) { t_lastError = code; }

const std::string &lastErrorText() { return t_lastErrorText; }

void setLastErrorText(std::string text) { t_lastErrorText = std::move(text); }

}  // namespace kvr7x
