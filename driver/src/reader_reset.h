// The reader reset: a 10 ms pulse on RTS, then the reader's answer
//   [noise...] 0x90 status N id[0..N-1]
// read under the port's current (base) time-outs; at most 1024 bytes of
// noise are dropped before the answer.  An identification that
// begins "VEXA" switches echo mode on when its tenth byte is '3' and off
// otherwise.
#ifndef KVR7X_READER_RESET_H
#define KVR7X_READER_RESET_H

#include <cstdint>

#include "serial_port.h"

namespace kvr7x {

// Returns 0 or the error result.  len and data (room for 255 bytes) may be
// null; they are written only on success and only when N is not 0.
[[nodiscard]] int32_t resetReader(SerialPort &port, int32_t *len, uint8_t *data);

// Applies the identification test to an answer of n identification bytes.
void applyIdentification(const uint8_t *id, size_t n);

}  // namespace kvr7x

#endif
