// Western text: records and settings hold one byte per character in the
// Windows-1252 code page.  These helpers convert between that form and
// QString and say which characters it cannot hold (the table is
// common/windows1252.h).
#ifndef KVR_RUNTIME_QT_WESTERN_TEXT_H
#define KVR_RUNTIME_QT_WESTERN_TEXT_H

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace kvr::runtime::qt {

// Every byte gives one character; the five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) give the control character of the
// same value so that they survive a round trip.
QString fromWestern(std::string_view bytes);

// The bytes of text, or nothing when a character cannot be written in the
// code page.
std::optional<std::string> toWestern(const QString &text);

// Like toWestern, writing "?" for every character that cannot be written.
std::string toWesternLossy(const QString &text);

bool isWestern(QChar c);
bool isWestern(const QString &text);

}  // namespace kvr::runtime::qt

#endif
