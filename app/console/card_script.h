// A script of the kvr7x tool: one reader command a line, blank lines and
// comments ("#" to the end of the line) skipped.
#ifndef KVR_CLI_SCRIPT_H
#define KVR_CLI_SCRIPT_H

#include "console/reader_command.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvr::cli {

using console::Operation;
using console::operationName;
using console::parseReaderCommand;
using console::ReaderCommand;
using console::splitWords;

struct ScriptLine {
    int number = 0;    // 1 for the first line of the file
    std::string text;  // the command's words as written, without comment
    ReaderCommand command;
};

// Every command of the script, checked before any is sent; nullopt with
// "NAME:LINE: reason" in `error` for the first line that is no command.
[[nodiscard]] std::optional<std::vector<ScriptLine>> parseScript(std::string_view text, std::string_view name,
                                                                 std::string &error);

}  // namespace kvr::cli

#endif
