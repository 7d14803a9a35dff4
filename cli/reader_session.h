// Runs the tool's reader commands through the driver library's C API on a
// port the session opens, and gives back what the reader answered.
#ifndef KVR_CLI_READER_SESSION_H
#define KVR_CLI_READER_SESSION_H

#include "session/reader_command.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvr::cli {

using session::Operation;
using session::operationName;
using session::parseReaderCommand;
using session::ReaderCommand;
using session::splitWords;

// What one command got back.
struct Outcome {
    Operation operation = Operation::Reset;
    // STAT (0..255), or the driver's negative error result.
    int32_t result = 0;
    // SW1 and SW2 of send, isoin and isoout.
    std::optional<uint8_t> sw1, sw2;
    // The reply length LEN of send.
    std::optional<int32_t> length;
    // The reply data (send, isoout) or the identification (reset).
    std::vector<uint8_t> data;
    // status: the card-present and reader-powered lines.
    std::optional<bool> cardPresent, readerPowered;

    // The driver call succeeded and the reader reports no error (STAT 00).
    bool succeeded() const { return result == 0; }
};

class ReaderSession {
public:
    // Opens the port (QXOPEN, which probes the reader with a reset).
    explicit ReaderSession(const std::string &portName);
    ~ReaderSession();
    ReaderSession(const ReaderSession &) = delete;
    ReaderSession &operator=(const ReaderSession &) = delete;

    bool isOpen() const { return handle_ >= 0; }
    [[nodiscard]] Outcome run(const ReaderCommand &command);

private:
    int32_t handle_;
};

}  // namespace kvr::cli

#endif
