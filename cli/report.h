// How the kvr7x tool shows an outcome: lines for people, or one JSON object
// a line for programs.
#ifndef KVR_CLI_REPORT_H
#define KVR_CLI_REPORT_H

#include "reader_session.h"

#include <optional>
#include <string>

namespace kvr::cli {

// For people, one field a line:
//   STAT 00  SW1 90  SW2 00  LEN 02    (the fields the command has)
//   DATA 3F 00 ...                     (reply data or identification)
//   TEXT ?.                            (the same as characters, "." for the
//                                       unprintable)
//   CARD present | absent              (status)
//   POWER on | off                     (status)
//   Comando procesado correctamente    (the decoded status)
// A driver error gives "ERROR 80000000" in place of the fields, then the
// decoded status and, when there is one, what the error means.
std::string textReport(const Outcome &outcome);

// One JSON object on one line, ending in a newline:
//   {"command":"send","ok":true,"result":0,"stat":"00","sw1":"90",
//    "sw2":"00","len":2,"data":"3F00","status":"Comando procesado ..."}
// with "error" (the result in 8 hex digits) and "meaning" for a driver
// error, "card" and "power" for status, and "line" when the command comes
// from a script line.
std::string jsonReport(const Outcome &outcome, std::optional<int> line = std::nullopt);

// A JSON string literal (quotes included) of a UTF-8 text.
std::string jsonString(const std::string &text);

}  // namespace kvr::cli

#endif
