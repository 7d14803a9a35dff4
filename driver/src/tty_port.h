// A local serial device (a POSIX tty) as a SerialPort.
//  - Opened for reading and writing, non-blocking, without becoming the
//    controlling terminal, and exclusively: TIOCEXCL plus a non-blocking
//    flock(LOCK_EX), so neither this nor another process can open it again.
//  - Transfers use poll() and the shared time-out rules (transfer_deadline.h);
//    a write ends when its bytes have left the line (drained), so the time
//    the data needs on the wire never counts against a following read.
//  - The DSR watch samples the line's change counters (TIOCGICOUNT, or the
//    line state where the driver has no counters) every few milliseconds and
//    ends at once when the port is closed.
#ifndef KVR7X_TTY_PORT_H
#define KVR7X_TTY_PORT_H

#include <termios.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "common/unique_fd.h"
#include "common/wake_pipe.h"
#include "serial_port.h"
#include "transfer_deadline.h"

namespace kvr7x {

class TtyPort final : public SerialPort {
public:
    // Opens the device; null with lastError() set on failure.
    [[nodiscard]] static std::unique_ptr<TtyPort> open(const std::string &path);
    ~TtyPort() override;

    [[nodiscard]] bool getLineSettings(LineSettings &out) override;
    [[nodiscard]] bool setLineSettings(const LineSettings &in) override;
    [[nodiscard]] bool getTimeouts(Timeouts &out) override;
    [[nodiscard]] bool setTimeouts(const Timeouts &in) override;
    [[nodiscard]] bool purgeTx() override;
    [[nodiscard]] bool purgeRx() override;
    [[nodiscard]] bool write(const uint8_t *buf, size_t n, size_t &written) override;
    [[nodiscard]] bool read(uint8_t *buf, size_t n, size_t &got) override;
    [[nodiscard]] bool setRts(bool on) override;
    [[nodiscard]] bool modemStatus(uint32_t &bits) override;
    [[nodiscard]] bool watchDsr() override;
    [[nodiscard]] bool waitDsrChange() override;
    [[nodiscard]] bool restoreLine() override;
    [[nodiscard]] bool close() override;

private:
    TtyPort(kvr::common::UniqueFd device, kvr::common::WakePipe wake, const termios &found,
            int foundLines);
    int fd() const { return fd_.get(); }
    // Waits until the written bytes have left the line, within the write's
    // limit; on running out of time, takes what is still queued off
    // `written`.
    [[nodiscard]] bool drain(const WriteDeadline &dl, const LineSettings &line, size_t &written);
    [[nodiscard]] bool dsrMark(uint64_t &mark);  // a value that changes when DSR changes
    // The "is it still open" guard: false, with lastError 6, once the port
    // is closed.
    [[nodiscard]] bool stillOpen() const;

    kvr::common::UniqueFd fd_;
    const termios found_;         // the line settings at open
    const int foundLines_;        // the modem lines at open, -1 when unreadable
    kvr::common::WakePipe wake_;  // woken when the port is closed
    std::atomic<bool> closed_{false};
    std::mutex mu_;  // guards timeouts_, settings_, users_
    std::condition_variable idle_;
    int users_ = 0;  // transfers and waits running on fd_
    Timeouts timeouts_{};
    LineSettings settings_{};
    bool watching_ = false;
    uint64_t dsrSeen_ = 0;  // DSR mark when watching began or a wait last ended
    std::atomic<bool> haveCounters_{false};

    friend class FdUse;
};

// Maps an errno value to the port layer's error codes (never 0).
[[nodiscard]] uint32_t errorFromErrno(int err);

}  // namespace kvr7x

#endif
