// How the kvr7x tool shows an outcome: lines for people, or one JSON object
// a line for programs.
#ifndef KVR_CLI_REPORT_H
#define KVR_CLI_REPORT_H

#include "reader_session.h"

#include <optional>
#include <string>
#include <string_view>

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
// from a script line; with a verdict, "text" (the command as written),
// "expect" (what the line expects, "stat 00" when it says nothing),
// "verdict" ("pass" or "fail") and, when it failed, "failure".
struct LineVerdict {
    std::string text;
    std::string expected;
    std::string failure;  // empty: the reply was the one expected
};
std::string jsonReport(const Outcome &outcome, std::optional<int> line = std::nullopt,
                       const LineVerdict *verdict = nullptr);

// A JSON string literal (quotes included) of a text: valid UTF-8 whatever
// the bytes, each byte that is not part of a UTF-8 character given as
// U+FFFD.
std::string jsonString(const std::string &text);

// The member "NAME":"TEXT" (no comma before it); when the text is not UTF-8
// also "NAME_hex":"..." with its bytes in hex, so that nothing is lost.
std::string jsonText(const std::string &name, const std::string &text);

// Whether the text is UTF-8 (no overlong forms, no surrogates, at most
// U+10FFFF).
bool isUtf8(std::string_view text);

}  // namespace kvr::cli

#endif
