// A local serial device on Windows (a COM port) as a SerialPort, through
// the Win32 communications calls:
//  - CreateFileA for reading and writing, no sharing, existing device only,
//    overlapped; the name is passed on unchanged ("COM1", "\\.\COM12");
//  - GetCommState/SetCommState change only the fields the library sets and
//    keep the others as the port had them; Get/SetCommTimeouts, PurgeComm,
//    EscapeCommFunction (RTS), GetCommModemStatus;
//  - every transfer is an overlapped ReadFile/WriteFile on an event of its
//    own, waited for without a limit (the port's time-outs end it) and
//    finished with GetOverlappedResult; a write is followed by
//    FlushFileBuffers, so that a reply's time-out begins once the data has
//    left the line, as on POSIX;
//  - the DSR watch is SetCommMask(EV_DSR) and an overlapped WaitCommEvent;
//    close() ends a running wait (CloseHandle makes it fail).
// The platform's error codes are passed through as the last error.
#ifndef KVR7X_WIN32_COMM_PORT_H
#define KVR7X_WIN32_COMM_PORT_H

#include <memory>
#include <string>

#include "serial_port.h"

namespace kvr7x {

// Opens the device; null with lastError() set (the GetLastError code).
[[nodiscard]] std::unique_ptr<SerialPort> openCommPort(const std::string &name);

}  // namespace kvr7x

#endif
