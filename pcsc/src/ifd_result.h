// What a driver result means to pcscd.  The driver returns the reader's
// status byte STAT (0 done) or a negative error result; pcscd wants one of
// the IFD response codes.  Nothing here invents a status word: a failure is
// an IFD code, and the card's SW1 SW2 reach the application only when the
// reader actually carried them.
//
//   driver result                          transmit                 power up/down, reset
//   0 (STAT 00)                            IFD_SUCCESS              IFD_SUCCESS
//   0x80000000 (the reader did not answer) IFD_RESPONSE_TIMEOUT     IFD_COMMUNICATION_ERROR
//   other negative (the line is gone)      IFD_COMMUNICATION_ERROR  IFD_COMMUNICATION_ERROR
//   STAT 50 no card                        IFD_ICC_NOT_PRESENT      IFD_ICC_NOT_PRESENT
//   STAT 30 time-out, 90 card silent       IFD_RESPONSE_TIMEOUT     IFD_ERROR_POWER_ACTION
//   STAT 20 bad length, 60 card type not
//        supported, D0 bad parameter,
//        F0 unknown command                IFD_NOT_SUPPORTED        IFD_ERROR_POWER_ACTION
//   any other STAT (10 aborted, 40 parity,
//        70 access denied, 80 card error,
//        A0 overflow, B0 check, C0 card not
//        powered, E0 CRC, ...)             IFD_COMMUNICATION_ERROR  IFD_ERROR_POWER_ACTION
#ifndef KVR7X_PCSC_IFD_RESULT_H
#define KVR7X_PCSC_IFD_RESULT_H

#include <cstdint>

#include "ifd_api.h"

namespace kvr7x::pcsc {

[[nodiscard]] RESPONSECODE transmitResult(int32_t r);
[[nodiscard]] RESPONSECODE powerResult(int32_t r);

// True for the error results that mean the line to the reader is gone (a
// closed connection, a vanished device), as opposed to a reader that did
// not answer in time or answered with a status.
[[nodiscard]] bool lineLost(int32_t r);

}  // namespace kvr7x::pcsc

#endif
