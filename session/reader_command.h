// One reader command as typed on kvr7x's command line or on a line of a card
// script (the shell tool's and the manager's): its words parsed into what
// the driver call needs.
#ifndef KVR_SESSION_READER_COMMAND_H
#define KVR_SESSION_READER_COMMAND_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvr::session {

enum class Operation {
    Reset,   // reset                               QXRESET
    Status,  // status [UNIT]                       QXICCSTATUS and the lines
    Send,    // send CODE CLA INS P1 P2 P3 [DATA]   QXSENDCOMMAND
    IsoIn,   // isoin UNIT CLA INS P1 P2 [DATA]     QXISOIN, P3 = data length
    IsoOut,  // isoout UNIT CLA INS P1 P2 P3        QXISOOUT
};

struct ReaderCommand {
    Operation operation = Operation::Reset;
    uint8_t unit = 0;
    uint8_t code = 0, cla = 0, ins = 0, p1 = 0, p2 = 0, p3 = 0;
    std::vector<uint8_t> data;
    // The reply-phase time-out: -t MS, else the manager's choice (10000 ms
    // for insert and extract, 1000 ms for the rest).
    uint32_t timeoutMs = 1000;

    bool operator==(const ReaderCommand &) const = default;
};

// The name a command is known by ("send").
std::string_view operationName(Operation operation);

// Parses one command's words, the name first.  Bytes are one or two
// hexadecimal digits in either case; DATA is hexadecimal, in one word or
// several ("3F00" or "3F 00"); "-t MS" may follow any word.  Nullopt with a
// one-line reason in `error` when the words are no command.
[[nodiscard]] std::optional<ReaderCommand> parseReaderCommand(const std::vector<std::string> &words,
                                                              std::string &error);

// Splits a line into its blank-separated words.
std::vector<std::string> splitWords(std::string_view line);

}  // namespace kvr::session

#endif
