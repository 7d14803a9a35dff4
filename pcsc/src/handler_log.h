// The handler's messages, by level, in pcscd's own log, as serial reader
// drivers write theirs: pcscd's options (--foreground, --debug, --info,
// --error, --critical) and its syslog set decide where they show and which
// levels count.  Loaded by anything else than pcscd (a test, a program of
// its own) the handler writes them to stderr instead.
#ifndef KVR7X_PCSC_HANDLER_LOG_H
#define KVR7X_PCSC_HANDLER_LOG_H

namespace kvr7x::pcsc {

enum class LogLevel { Debug = 0, Info = 1, Error = 2, Critical = 3 };

void logMessage(LogLevel level, const char *format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace kvr7x::pcsc

#endif
