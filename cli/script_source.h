// Where a script comes from: a file, or "-" for standard input, read into a
// ScriptParser piece by piece, so that the reading stops at the parser's
// first error (an over-long line, a script over its limit) whatever the
// input holds, an endless one included.
#ifndef KVR_CLI_SCRIPT_SOURCE_H
#define KVR_CLI_SCRIPT_SOURCE_H

#include "session/card_script.h"

#include <string>

namespace kvr::cli {

// The name a script is known by in messages: its path, or "standard input".
std::string scriptName(const std::string &path);

// Reads the script into the parser.  False with a one-line reason in
// `error`: the parser's ("NAME:LINE: ..."), or why the source cannot be
// read (a folder, a missing or unreadable file, standard input closed).
// A file is opened without waiting (a FIFO without a writer reads as
// empty) and read to its end.
[[nodiscard]] bool readScript(const std::string &path, session::ScriptParser &parser, std::string &error);

}  // namespace kvr::cli

#endif
