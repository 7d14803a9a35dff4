// How a command APDU travels to the card through the reader, the way a T=0
// reader carries it (ISO 7816-3 transport of the ISO 7816-4 cases).
//
// Every step is one reader transaction (QXSENDCOMMAND) with an ISO command
// code: ISO OUT and ISO IN without data are CODE 21 + unit with the header
// alone; ISO IN with data is CODE A1 + unit followed by P3 data bytes.  The
// transaction is used rather than QXISOIN/QXISOOUT because only it reports
// LEN, the number of reply bytes the card really sent.
//
//   case 1  CLA INS P1 P2            ISO IN: 21 CLA INS P1 P2 00, no data block
//   case 2  CLA INS P1 P2 Le         ISO OUT: 21 CLA INS P1 P2 Le (Le 256 as 00);
//                                    on 6Cxx once more with P3 = xx
//   case 3  CLA INS P1 P2 Lc data    ISO IN: A1 CLA INS P1 P2 Lc data
//   case 4  ... Lc data Le           ISO IN as case 3; on 61xx GET RESPONSE,
//                                    21 CLA C0 00 00 min(xx, Le) (xx 00 counts
//                                    as 256), and on its 6Cyy once more with yy
//
// The response APDU is the reply data of the last transaction (LEN bytes)
// followed by its SW1 SW2.  A 61xx of a case 3 command, or one that a GET
// RESPONSE leaves, goes to the application as the card gave it.
//
// Failures are never turned into status words: the first transaction whose
// result is not STAT 00 ends the exchange, and its result (a STAT, or the
// driver's negative error result, 0x80000000 when the reader did not
// answer) is what the caller gets; ifd_result.h maps it to an IFD code.
#ifndef KVR7X_PCSC_APDU_TRANSPORT_H
#define KVR7X_PCSC_APDU_TRANSPORT_H

#include <cstdint>
#include <vector>

#include "command_apdu.h"

namespace kvr7x::pcsc {

struct ApduOutcome {
    int32_t result = 0;             // 0, or the result of the failing transaction
    std::vector<uint8_t> response;  // data, SW1, SW2 (when result is 0)
};

// Runs one APDU on a unit (0 the card, 1..3 the SAM slots) of an open port;
// timeoutMs is the reply time-out of each transaction.  One reader call at a
// time per process: the caller holds the lock that serialises them.
[[nodiscard]] ApduOutcome transmitApdu(int32_t port, unsigned unit, const CommandApdu &apdu, uint32_t timeoutMs);

}  // namespace kvr7x::pcsc

#endif
