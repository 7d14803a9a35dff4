// The readers one handler serves, by the reader part of pcscd's logical
// unit number (LUN 0xXXXXYYYY: XXXX the reader, YYYY the slot; each KVR7x
// reader offers one slot, its card slot).
//
// All readers share one lock: the driver keeps its frame buffer and echo
// flag process-wide, so no two reader calls may run at once, whatever ports
// they use.  For the same reason the readers of one process must agree on
// echo mode: a reader that echoes every byte and one that does not cannot
// be served side by side, and the second one is refused.
#ifndef KVR7X_PCSC_READER_TABLE_H
#define KVR7X_PCSC_READER_TABLE_H

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "ifd_api.h"
#include "reader_slot.h"

namespace kvr7x::pcsc {

class ReaderTable {
public:
    // Readers one handler serves at most.
    static constexpr unsigned kMaxReaders = 16;

    // The lock every reader call holds.
    std::mutex &lock() { return lock_; }

    // Opens the reader of `lun` on a port name.  IFD_SUCCESS, or
    // IFD_COMMUNICATION_ERROR (port not opened, table full, LUN in use, echo
    // mode unlike the other readers').
    [[nodiscard]] RESPONSECODE create(unsigned long lun, const std::string &deviceName);
    // Closes and forgets the reader of `lun`.  IFD_NO_SUCH_DEVICE when there
    // is none.
    [[nodiscard]] RESPONSECODE close(unsigned long lun);
    // The reader of `lun`, or null when there is none or the LUN names a
    // slot other than the card slot.
    [[nodiscard]] ReaderSlot *find(unsigned long lun);

private:
    static unsigned long readerOf(unsigned long lun) { return lun >> 16; }

    std::mutex lock_;
    std::map<unsigned long, std::unique_ptr<ReaderSlot>> readers_;
};

}  // namespace kvr7x::pcsc

#endif
