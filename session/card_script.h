// A card script, the shell tool's and the manager's: one reader command a
// line (console/reader_command.h), blank lines and comments ("#" to the end
// of the line) skipped.  A line may end with "=>" and the reply it expects
// (console/expected_reply.h); without one it expects STAT 00.  The words
// $SW1, $SW2 and $LEN stand for the previous reply's SW1, SW2 and data
// length (two hex digits), so that 61xx is followed by a GET RESPONSE of the
// right length and 6Cxx by the command again with the right P3.
//
// A script is read whole before anything is sent, so that a script error
// (a line that is no command, a bad pattern, $SW2 before any reply, a line
// or a script over its limit) is found first, with its line: a script is a
// test, and half a test run against a card is worse than none.  The limits
// keep the memory of the reading bounded whatever the input (an endless
// standard input is a script error at the line that passes the limit).
#ifndef KVR_SESSION_CARD_SCRIPT_H
#define KVR_SESSION_CARD_SCRIPT_H

#include "session/expected_reply.h"
#include "session/reader_command.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvr::session {

inline constexpr std::size_t kScriptLineLimit = 4096;                      // bytes of one line, without its end
inline constexpr std::size_t kScriptSizeLimit = std::size_t{1024} * 1024;  // bytes of the whole script

struct ScriptLine {
    int number = 0;                         // 1 for the first line of the file
    std::string text;                       // the command's words as written, one space apart
    std::vector<std::string> words;         // the same, placeholders kept (when it takes any)
    std::optional<ExpectedReply> expected;  // what follows "=>"; nullopt: STAT 00
    std::string comment;                    // "# ..." as written, or empty
    ReaderCommand command;                  // as parsed, with 00 for the placeholders
    bool takesReply = false;                // $SW1, $SW2 or $LEN stands in its words

    // What the line expects: its "=>" part, else STAT 00.
    ExpectedReply expectation() const { return expected.value_or(ExpectedReply{}); }
};

// Whether the command's reply has a status word (send, isoin, isoout).
bool hasStatusWord(Operation operation);

// Reads a script as its bytes come, with explicit state: feed() the bytes
// in any pieces, then finish().  After the first error every call returns
// false and error() says "NAME:LINE: reason".
class ScriptParser {
public:
    explicit ScriptParser(std::string name) : name_(std::move(name)) {}

    [[nodiscard]] bool feed(std::string_view bytes);
    [[nodiscard]] bool finish();

    const std::string &error() const { return error_; }
    const std::string &name() const { return name_; }
    // The command lines read so far.
    const std::vector<ScriptLine> &lines() const { return lines_; }
    // Every line as read, without its end (comments and blank lines too),
    // for a script written back with its replies.
    const std::vector<std::string> &source() const { return source_; }

private:
    bool fail(std::string reason);
    bool takeLine(std::string_view line);
    // Puts 00 for each placeholder of the words; the reason when one cannot
    // stand there, else empty.
    std::string fillPlaceholders(std::vector<std::string> &words, bool &takesReply) const;

    std::string name_;
    std::string pending_;  // the line being read
    std::size_t total_ = 0;
    int number_ = 0;
    bool finished_ = false;
    std::string error_;
    std::vector<ScriptLine> lines_;
    std::vector<std::string> source_;
};

// Reads a script file into the parser, a piece at a time (the reading
// stops at the parser's first error).  False with a one-line reason in
// `error`: the parser's, or "cannot read PATH: REASON" (a folder among them).
[[nodiscard]] bool readScriptFile(const std::string &path, ScriptParser &parser, std::string &error);

// The whole of a script text at once; nullopt with `error` as above.
[[nodiscard]] std::optional<std::vector<ScriptLine>> parseScript(std::string_view text, std::string_view name,
                                                                 std::string &error);

// The line's command with its placeholders taken from the previous reply
// (null before the first); nullopt with `why` when that reply has no status
// word to give.
[[nodiscard]] std::optional<ReaderCommand> commandFor(const ScriptLine &line, const ScriptReply *previous,
                                                      std::string &why);

// The line that tells a failed script line: "NAME:LINE: COMMAND: why".
std::string failureLine(std::string_view name, const ScriptLine &line, std::string_view why);

}  // namespace kvr::session

#endif
