// How an exchange is written down: the columns the history window shows,
// the line pair of the plain-text history and log, and the CSV row.  Bytes
// are in the console's hex form ("A1 00 A4"); texts are UTF-8; times are
// local time.
//
// The line pair (text saves, the log, the clipboard):
//   10:15:03.123 > A1 00 A4 00 0C 02  7F 7F
//         38 ms  < 00 6A 82 00  Comando procesado correctamente  (Fichero o aplicación no encontrado)
// the first line the time, the header and the data sent, the second the
// duration, STAT SW1 SW2 LEN, the data received, the status text and, in
// brackets, the meaning.  A Reset shows "Reset" for its header; a driver
// error shows only STAT.  A reply whose data decode (an ATR, BER-TLV) has a
// third line, the decoding after "=" under the "<":
//                = 6F [19] Plantilla FCI; 82 [1] Descriptor de fichero: 38 (DF, no compartible); ...
#ifndef KVR_SESSION_EXCHANGE_TEXT_H
#define KVR_SESSION_EXCHANGE_TEXT_H

#include "session/exchange_history.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kvr::session {

// The history window's columns, in order.
enum ExchangeColumn {
    ColumnTime,
    ColumnDuration,
    ColumnHeader,
    ColumnSent,
    ColumnReply,
    ColumnReceived,
    ColumnStatus,
    ColumnMeaning,
    ColumnDecoding,
    ColumnVerdict,
    kExchangeColumns
};

// The columns' headings.
const std::array<const char *, kExchangeColumns> &exchangeColumnHeadings();

// One column of an exchange as the window shows it.
std::string exchangeColumn(const Exchange &exchange, ExchangeColumn column);

// "10:15:03.123" and "2026-12-09", local time.
std::string timeOfDayText(int64_t wallMs);
std::string dateText(int64_t wallMs);

// The header as sent ("A1 00 A4 00 0C 02"), or "Reset".
std::string headerText(const Exchange &exchange);
// STAT SW1 SW2 LEN ("00 6A 82 00"); STAT alone after a driver error.
std::string replyHeaderText(const Exchange &exchange);
// Bytes in hex form, one space between them.
std::string hexText(std::string_view bytes);

// The two lines of an exchange, each ended by "\n".
std::string exchangeLines(const Exchange &exchange);
// The whole history as line pairs, the oldest first.
std::string historyText(const ExchangeHistory &history);

// The CSV heading line and one row (RFC 4180: commas, fields with a comma,
// a quote or a line end quoted), each ended by "\r\n".
std::string csvHeading();
std::string csvRow(const Exchange &exchange);
std::string historyCsv(const ExchangeHistory &history);

// Whether a file name asks for CSV: it ends in ".csv", any letter case.
bool wantsCsv(std::string_view path);

}  // namespace kvr::session

#endif
