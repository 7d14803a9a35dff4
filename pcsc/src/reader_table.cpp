#include "reader_table.h"

#include "handler_log.h"

namespace kvr7x::pcsc {

RESPONSECODE ReaderTable::create(unsigned long lun, const std::string &deviceName) {
    if (readers_.count(readerOf(lun)) || readers_.size() >= kMaxReaders) return IFD_COMMUNICATION_ERROR;
    auto slot = std::make_unique<ReaderSlot>(deviceName);
    if (slot->open() != IFD_SUCCESS) {
        logMessage(LogLevel::Error, "%s: cannot open the port", deviceName.c_str());
        return IFD_COMMUNICATION_ERROR;
    }
    for (const auto &[reader, other] : readers_) {
        if (!slot->echoes() || !other->echoes() || *slot->echoes() == *other->echoes()) continue;
        logMessage(LogLevel::Error,
                   "%s: refused: its echo mode (%s) differs from that of %s; "
                   "serve such readers from separate processes",
                   deviceName.c_str(), *slot->echoes() ? "on" : "off", other->deviceName().c_str());
        slot.reset();
        // Opening the refused reader switched the process-wide echo mode;
        // a reset of a reader already served switches it back.
        other->resetReader();
        return IFD_COMMUNICATION_ERROR;
    }
    readers_.emplace(readerOf(lun), std::move(slot));
    return IFD_SUCCESS;
}

RESPONSECODE ReaderTable::close(unsigned long lun) {
    const auto it = readers_.find(readerOf(lun));
    if (it == readers_.end()) return IFD_NO_SUCH_DEVICE;
    readers_.erase(it);
    return IFD_SUCCESS;
}

ReaderSlot *ReaderTable::find(unsigned long lun) {
    if ((lun & 0xFFFF) != 0) return nullptr;
    const auto it = readers_.find(readerOf(lun));
    return it == readers_.end() ? nullptr : it->second.get();
}

}  // namespace kvr7x::pcsc
