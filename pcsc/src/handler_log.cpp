#include "handler_log.h"

// pcsc-lite's header declares pcscd's log functions without C linkage.
extern "C" {
#include <debuglog.h>
}

#include <cstdarg>
#include <cstdio>

// pcscd exports its log function to the handlers it loads.  The reference
// is weak, so that the handler loads (and its tests link) without pcscd,
// where the symbol is null.
#pragma weak log_msg

namespace kvr7x::pcsc {

void logMessage(LogLevel level, const char *format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (&log_msg != nullptr)
        log_msg(static_cast<int>(level), "ifdkvr7x: %s", text);
    else
        std::fprintf(stderr, "ifdkvr7x: %s\n", text);
}

}  // namespace kvr7x::pcsc
