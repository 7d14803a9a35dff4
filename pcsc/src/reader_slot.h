// One KVR7x reader as pcscd sees it: its port, the card slot (unit 0) with
// the card's power and ATR, and the way back after the line to the reader
// was lost.
//
// Card presence comes from the card-detect line (DSR) while the reader's
// carrier line is on.  With the carrier off the reader is asked with a
// status request (short time-out): a line that is gone (a closed network
// connection, a vanished device) then closes the port, and every later
// presence query tries to open it again, at most once a second, until the
// reader answers: the reader works again without restarting pcscd.  A
// reopen runs under the handler's lock like every reader call, so one that
// waits for an unreachable network host holds the other readers for as long
// as the driver's connect limit.
//
// Not thread-safe: the caller serialises every call on every slot of the
// process (the driver's frame buffer and echo flag are process-wide).
#ifndef KVR7X_PCSC_READER_SLOT_H
#define KVR7X_PCSC_READER_SLOT_H

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ifd_api.h"

namespace kvr7x::pcsc {

class ReaderSlot {
public:
    // deviceName: any port name QXOPEN takes (COM1, /dev/ttyUSB0,
    // rfc2217://host:port); replyTimeoutMs: the reply time-out of every card
    // transaction.
    explicit ReaderSlot(std::string deviceName, uint32_t replyTimeoutMs = kReplyTimeoutMs);
    ~ReaderSlot();
    ReaderSlot(const ReaderSlot &) = delete;
    ReaderSlot &operator=(const ReaderSlot &) = delete;

    // Opens the port and reads the reader's identification.
    // IFD_SUCCESS, or IFD_COMMUNICATION_ERROR when the port cannot be opened.
    [[nodiscard]] RESPONSECODE open();
    // Deactivates the card and closes the port.
    void close();
    // Resets the reader (the card is left unpowered), which also sets the
    // driver's echo mode from this reader's identification.
    void resetReader();

    // IFD_ICC_PRESENT, IFD_ICC_NOT_PRESENT, or IFD_COMMUNICATION_ERROR while
    // the reader cannot be reached.
    [[nodiscard]] RESPONSECODE presence();
    // IFD_POWER_UP activates the card, IFD_POWER_DOWN deactivates it,
    // IFD_RESET resets the reader (an RTS pulse; it has no warm reset of the
    // card alone) and activates the card again.  The ATR comes back from the
    // activation.
    [[nodiscard]] RESPONSECODE power(unsigned long action, std::vector<uint8_t> &atr);
    // One command APDU to the card; the response APDU on IFD_SUCCESS.
    [[nodiscard]] RESPONSECODE transmit(const uint8_t *bytes, size_t length, std::vector<uint8_t> &response);

    const std::string &deviceName() const { return name_; }
    const std::vector<uint8_t> &atr() const { return atr_; }
    bool isOpen() const { return port_ >= 0; }
    // Whether the reader echoes every byte (from its identification); empty
    // when it did not identify itself.
    std::optional<bool> echoes() const;

    // Reply time-out of card transactions (as the driver's own card
    // operations), and of the status request that tells an unpowered reader
    // from a lost line.
    static constexpr uint32_t kReplyTimeoutMs = 5000;
    static constexpr uint32_t kProbeTimeoutMs = 100;
    static constexpr auto kReconnectPause = std::chrono::seconds(1);

private:
    [[nodiscard]] bool openPort();
    [[nodiscard]] bool reconnect();
    // The line is gone: the port is closed and the card counts as unpowered.
    void loseLine(int32_t r);
    [[nodiscard]] RESPONSECODE powerUp(std::vector<uint8_t> &atr);
    // Says in pcscd's log when the card's ATR is cut, built wrong or has a
    // wrong check byte: pcscd and the application are handed it as it came,
    // and what goes wrong next is easier to place.
    void noteFaultyAtr() const;
    [[nodiscard]] RESPONSECODE cardState(bool present);

    std::string name_;
    uint32_t replyTimeout_;
    int32_t port_ = -1;
    std::vector<uint8_t> identification_;
    std::vector<uint8_t> atr_;
    std::chrono::steady_clock::time_point lastAttempt_{};
};

}  // namespace kvr7x::pcsc

#endif
