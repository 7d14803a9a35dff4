// The serial-port layer: every operation the library needs of a serial line,
// and nothing else.  The transaction, the reader operations and the open and
// notification code see only this interface; a local tty and a network port
// (RFC 2217) are two implementations of it.
#ifndef KVR7X_SERIAL_PORT_H
#define KVR7X_SERIAL_PORT_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "kvr7x.h"

namespace kvr7x {

// Read and write time-outs, in milliseconds, with the classic serial-port
// meaning:
//  - a read of n bytes ends when n bytes have arrived, or short when two
//    successive bytes are more than readInterval apart (0: no gap limit), or
//    when readMultiplier * n + readConstant have passed since it began;
//  - a write of n bytes ends short after writeMultiplier * n + writeConstant.
struct Timeouts {
    uint32_t readInterval = 0;
    uint32_t readMultiplier = 0;
    uint32_t readConstant = 0;
    uint32_t writeMultiplier = 0;
    uint32_t writeConstant = 0;
    bool operator==(const Timeouts &) const = default;
};

enum class Parity : uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class StopBits : uint8_t { One = 0, OneAndHalf = 1, Two = 2 };
enum class DtrControl : uint8_t { Disable = 0, Enable = 1, Handshake = 2 };
enum class RtsControl : uint8_t { Disable = 0, Enable = 1, Handshake = 2, Toggle = 3 };

// Line settings, after the fields of the classic device-control record.
// An implementation keeps fields it cannot express as they were read.
struct LineSettings {
    uint32_t baudRate = 9600;
    uint8_t byteSize = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    bool binary = true;
    bool parityCheck = false;
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    DtrControl dtrControl = DtrControl::Enable;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = true;
    bool outX = false;
    bool inX = false;
    bool nullStrip = false;
    RtsControl rtsControl = RtsControl::Enable;
    bool operator==(const LineSettings &) const = default;
};

// Modem-status bits as the reader library reports them.
inline constexpr uint32_t kModemCts = 0x10;
inline constexpr uint32_t kModemDsr = 0x20;
inline constexpr uint32_t kModemRing = 0x40;
inline constexpr uint32_t kModemRlsd = 0x80;

// Error codes of the port layer (the "last error" of a failed operation),
// as the library's error catalogue in kvr7x.h lists and explains them.
// kErrTimeout (0) is no failure of the line: the code of a transfer that
// ran out of time, and what a call that went through leaves behind.
inline constexpr uint32_t kErrTimeout = KVR7X_ERR_TIMEOUT;
inline constexpr uint32_t kErrFileNotFound = KVR7X_ERR_FILE_NOT_FOUND;
inline constexpr uint32_t kErrTooManyPorts = KVR7X_ERR_TOO_MANY_PORTS;
inline constexpr uint32_t kErrAccessDenied = KVR7X_ERR_ACCESS_DENIED;
inline constexpr uint32_t kErrInvalidHandle = KVR7X_ERR_INVALID_HANDLE;
inline constexpr uint32_t kErrWriteCutOff = KVR7X_ERR_WRITE_CUT_OFF;
inline constexpr uint32_t kErrGenFailure = KVR7X_ERR_LINE_FAILURE;
inline constexpr uint32_t kErrBadNetPath = KVR7X_ERR_NO_SERVER;
inline constexpr uint32_t kErrNetNameDeleted = KVR7X_ERR_CONNECTION_CLOSED;
inline constexpr uint32_t kErrInvalidParameter = KVR7X_ERR_INVALID_PARAMETER;
inline constexpr uint32_t kErrConnectTimeout = KVR7X_ERR_CONNECT_TIMEOUT;
inline constexpr uint32_t kErrBadPathName = KVR7X_ERR_BAD_ADDRESS;
inline constexpr uint32_t kErrOperationAborted = KVR7X_ERR_ABORTED;

// Last error of the calling thread, set by every failing port operation.
[[nodiscard]] uint32_t lastError();
void setLastError(uint32_t code);

// Last-error text of the calling thread: what a code alone cannot say, such
// as why the ports map was not read.  QXOPEN clears it when it begins; the
// steps that have something to explain set it.
const std::string &lastErrorText();
void setLastErrorText(std::string text);

class SerialPort {
public:
    virtual ~SerialPort() = default;

    [[nodiscard]] virtual bool getLineSettings(LineSettings &out) = 0;
    [[nodiscard]] virtual bool setLineSettings(const LineSettings &in) = 0;
    [[nodiscard]] virtual bool getTimeouts(Timeouts &out) = 0;
    [[nodiscard]] virtual bool setTimeouts(const Timeouts &in) = 0;

    // Discard what waits to be sent / what has been received and not read.
    [[nodiscard]] virtual bool purgeTx() = 0;
    [[nodiscard]] virtual bool purgeRx() = 0;

    // Transfers report how many bytes moved.  They return true when the
    // transfer ran (possibly ending short by time-out, lastError 0) and false
    // on a failure of the line (lastError set).
    [[nodiscard]] virtual bool write(const uint8_t *buf, size_t n, size_t &written) = 0;
    [[nodiscard]] virtual bool read(uint8_t *buf, size_t n, size_t &got) = 0;

    [[nodiscard]] virtual bool setRts(bool on) = 0;
    [[nodiscard]] virtual bool modemStatus(uint32_t &bits) = 0;

    // Watch for changes of DSR only; then block until DSR changes (true) or
    // until the wait cannot go on (false): lastError 995 when close() ended
    // a running wait, 6 when the port was already closed, any other code
    // when the line broke.  The notification thread tells these apart.
    [[nodiscard]] virtual bool watchDsr() = 0;
    [[nodiscard]] virtual bool waitDsrChange() = 0;

    // Puts the line settings and the output lines back as they were when
    // the port was opened, so that a failed open leaves the line as it
    // found it.  True on success.
    [[nodiscard]] virtual bool restoreLine() = 0;

    // Close the line; ends a pending waitDsrChange.  True on success.
    [[nodiscard]] virtual bool close() = 0;

    // Whether the connection to the line is gone for good: a network port
    // whose server closed the connection, or whose stream a cut-off write
    // garbled.  Every transfer then fails until the port is opened again,
    // which the reader reset does.  A device never says so.
    [[nodiscard]] virtual bool lost() { return false; }

    // Whether the line is out of step: an exchange on it ended by time-out,
    // so the rest of it (a late reply) may still come, and the line has not
    // been drained since.  The calls on the port set and clear it
    // (transaction.h says how); the port only keeps it.
    void setUnsynchronised(bool on) { unsynchronised_.store(on); }
    [[nodiscard]] bool unsynchronised() const { return unsynchronised_.load(); }

private:
    std::atomic<bool> unsynchronised_{false};
};

}  // namespace kvr7x

#endif
