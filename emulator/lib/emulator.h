// kvr7x-emu: a virtual KVR7x reader behind a network serial port.  It listens
// on a TCP port, speaks the telnet COM-PORT option (RFC 2217) to one client
// at a time and plays the reader on the far side of the line: reset answer
// on an RTS pulse, echo, reader and ISO commands, DSR for the card and
// carrier for the reader's power.
#ifndef KVR7X_EMU_EMULATOR_H
#define KVR7X_EMU_EMULATOR_H

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/unique_fd.h"
#include "common/wake_pipe.h"
#include "frame_log.h"
#include "reader_model.h"
#include "rules.h"

namespace kvr7x::emu {

struct Config {
    std::string host = "127.0.0.1";
    uint16_t port = 7201;  // 0: any free port (see Emulator::port())
    std::vector<uint8_t> identification = defaultIdentification();
    uint8_t secondStatus = 0x00;
    bool cardPresent = true;
    std::array<bool, 3> samPresent = {true, false, false};
    bool powered = true;
    bool silent = false;
    std::chrono::milliseconds latency{0};  // before every reply and reset answer
    std::vector<uint8_t> noise;            // sent before the reset answer's 0x90
    bool paced = false;                    // true: 9600 bit/s, 10 bits a byte
    RuleSet rules;
    std::FILE *logStream = nullptr;  // frame log as text, not owned
    // Keep the frame log in memory too, for whoever embeds the emulator and
    // looks at log(); the program keeps nothing it does not write out.
    bool memoryLog = true;
    // End a session in which the client has sent nothing for this long;
    // 0: never.  A client whose host vanished is noticed by TCP keep-alive
    // (about a minute) whatever this says.
    std::chrono::milliseconds idleTimeout{0};
    // A new client takes the place of one that has sent nothing for this
    // long (0: of any client), as ser2net's kickolduser does; without it a
    // second client is refused while one is connected.
    std::optional<std::chrono::milliseconds> takeOverAfter;
};

// Most bytes owed to a client and not yet sent before the emulator stops
// reading from it: a client that sends and never reads is held back by its
// own connection instead of filling the emulator's memory.
inline constexpr size_t kMaxUnsent = size_t{64} * 1024;

// Time one byte takes on the line at 9600 bit/s (start, 8 data, stop bits).
inline constexpr std::chrono::nanoseconds kByteTime{1'041'667};

class Emulator {
public:
    explicit Emulator(Config config);
    ~Emulator();
    Emulator(const Emulator &) = delete;
    Emulator &operator=(const Emulator &) = delete;

    // Binds, listens and starts serving in a thread of its own.  False with
    // `error` when the address cannot be used.
    [[nodiscard]] bool start(std::string &error);
    // Stops serving, closes the client and the listening socket.
    void stop();

    uint16_t port() const { return port_; }
    // "rfc2217://HOST:PORT" for this emulator.
    std::string url() const;

    // Run-time changes; the client sees line changes at once.
    void setCardPresent(bool present);
    void setSamPresent(unsigned slot, bool present);  // slot 1..3
    void setPowered(bool powered);
    void setSilent(bool silent);
    void setLatency(std::chrono::milliseconds latency);
    void setNoise(std::vector<uint8_t> noise);
    void setIdentification(std::vector<uint8_t> identification);
    void setPaced(bool paced);

    const FrameLog &log() const { return log_; }
    FrameLog &log() { return log_; }

    // Clients served so far, and whether one is connected now.
    size_t clientsServed() const { return served_.load(); }
    bool clientConnected() const { return connected_.load(); }
    // The most bytes ever owed to a client and not yet sent.
    size_t peakUnsent() const { return peakUnsent_.load(); }
    // The reader's bytes (replies, echoes, reset answers, noise) that have
    // gone out to clients so far, counted once everything before them has:
    // what a test waits for before it looks at the client's side.
    size_t readerBytesSent() const { return readerBytesSent_.load(); }
    // Line state as the client last set it.
    bool rts() const;
    bool dtr() const;
    uint32_t baudRate() const;

    // The reader's modem-state byte: DSR for a card, carrier and CTS for
    // power.
    uint8_t modemState() const;
    // The answer-to-reset of the card in a unit (0 the card slot, 1..3 the
    // SAM slots).
    std::vector<uint8_t> atr(unsigned unit) const;

private:
    class Session;
    void run();
    void wake();
    void refuse();

    Config config_;
    kvr::common::UniqueFd listen_;
    std::optional<kvr::common::WakePipe> wake_;  // while serving
    uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<size_t> served_{0};
    std::atomic<bool> connected_{false};
    std::atomic<size_t> peakUnsent_{0};
    size_t readerBytesOnWire_ = 0;  // handed to the wire so far; the serving thread's own
    std::atomic<size_t> readerBytesSent_{0};

    mutable std::mutex mutex_;  // guards model_ and the settings below
    ReaderModel model_;
    std::chrono::milliseconds latency_{0};
    bool paced_ = false;
    bool rts_ = false;
    bool dtr_ = false;
    uint32_t baud_ = 9600;

    FrameLog log_;
};

}  // namespace kvr7x::emu

#endif
