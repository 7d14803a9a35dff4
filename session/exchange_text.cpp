#include "session/exchange_text.h"

#include "session/hex_codec.h"

#include "common/local_time.h"

#include <cstdio>
#include <ctime>

namespace kvr::session {

namespace {

std::tm localTime(int64_t wallMs) {
    const std::time_t seconds = static_cast<std::time_t>(wallMs >= 0 ? wallMs / 1000 : (wallMs - 999) / 1000);
    return common::localTimeOf(seconds);
}

int millisecondsOf(int64_t wallMs) { return static_cast<int>(((wallMs % 1000) + 1000) % 1000); }

std::string csvField(const std::string &text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string byteText(uint8_t byte) { return hexByte(byte); }

}  // namespace

const std::array<const char *, kExchangeColumns> &exchangeColumnHeadings() {
    static constexpr std::array<const char *, kExchangeColumns> kHeadings{
        "Hora",   "ms",          "CODE CLA INS P1 P2 P3", "Datos enviados", "STAT SW1 SW2 LEN", "Datos recibidos",
        "Estado", "Significado", "Decodificación",        "Guión"};
    return kHeadings;
}

std::string timeOfDayText(int64_t wallMs) {
    const std::tm t = localTime(wallMs);
    char text[48];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.tm_hour, t.tm_min, t.tm_sec, millisecondsOf(wallMs));
    return text;
}

std::string dateText(int64_t wallMs) {
    const std::tm t = localTime(wallMs);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    return text;
}

std::string hexText(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (char c : bytes) {
        if (!text.empty()) text += ' ';
        text += hexByte(static_cast<uint8_t>(c));
    }
    return text;
}

std::string headerText(const Exchange &e) {
    if (e.kind == Exchange::Kind::Reset) return "Reset";
    const CommandHeader &h = e.header;
    const uint8_t bytes[] = {h.code, h.cla, h.ins, h.p1, h.p2, h.p3};
    return hexText(std::string_view(reinterpret_cast<const char *>(bytes), sizeof bytes));
}

std::string replyHeaderText(const Exchange &e) {
    std::string stat = byteText(static_cast<uint8_t>(e.result & 0xFF));
    if (!e.answered()) return stat;
    return stat + ' ' + byteText(e.sw1) + ' ' + byteText(e.sw2) + ' ' +
           byteText(static_cast<uint8_t>(e.received.size()));
}

std::string exchangeColumn(const Exchange &e, ExchangeColumn column) {
    switch (column) {
    case ColumnTime: return timeOfDayText(e.startedMs);
    case ColumnDuration: return std::to_string(e.durationMs);
    case ColumnHeader: return headerText(e);
    case ColumnSent: return hexText(e.sent);
    case ColumnReply: return replyHeaderText(e);
    case ColumnReceived: return hexText(e.received);
    case ColumnStatus: return e.status;
    case ColumnMeaning: return e.meaning;
    case ColumnDecoding: return e.decoding;
    case ColumnVerdict: return e.verdict;
    case kExchangeColumns: break;
    }
    return {};
}

std::string exchangeLines(const Exchange &e) {
    std::string first = timeOfDayText(e.startedMs) + " > " + headerText(e);
    if (!e.sent.empty()) first += "  " + hexText(e.sent);
    char duration[32];
    std::snprintf(duration, sizeof duration, "%9lld ms  < ", static_cast<long long>(e.durationMs));
    std::string second = duration + replyHeaderText(e);
    if (!e.received.empty()) second += "  " + hexText(e.received);
    second += "  " + e.status;
    if (!e.meaning.empty()) second += "  (" + e.meaning + ")";
    std::string lines = first + '\n' + second + '\n';
    if (!e.decoding.empty()) lines += std::string(14, ' ') + "= " + e.decoding + '\n';
    return lines;
}

std::string historyText(const ExchangeHistory &history) {
    std::string text;
    for (std::size_t i = 0; i < history.size(); ++i) text += exchangeLines(history.at(i));
    return text;
}

std::string csvHeading() {
    return "Fecha,Hora,ms,Orden,CODE,CLA,INS,P1,P2,P3,Datos enviados,STAT,SW1,SW2,LEN,Datos recibidos,Estado,"
           "Significado,Decodificación\r\n";
}

std::string csvRow(const Exchange &e) {
    std::string row = dateText(e.startedMs) + ',' + timeOfDayText(e.startedMs) + ',' + std::to_string(e.durationMs);
    if (e.kind == Exchange::Kind::Reset) {
        row += ",Reset,,,,,,";
    } else {
        const CommandHeader &h = e.header;
        row += ",Comando";
        for (uint8_t b : {h.code, h.cla, h.ins, h.p1, h.p2, h.p3}) row += ',' + byteText(b);
    }
    row += ',' + hexText(e.sent) + ',' + byteText(static_cast<uint8_t>(e.result & 0xFF));
    if (e.answered())
        row += ',' + byteText(e.sw1) + ',' + byteText(e.sw2) + ',' + byteText(static_cast<uint8_t>(e.received.size()));
    else
        row += ",,,";
    row += ',' + hexText(e.received) + ',' + csvField(e.status) + ',' + csvField(e.meaning) + ',' +
           csvField(e.decoding) + "\r\n";
    return row;
}

std::string historyCsv(const ExchangeHistory &history) {
    std::string text = csvHeading();
    for (std::size_t i = 0; i < history.size(); ++i) text += csvRow(history.at(i));
    return text;
}

bool wantsCsv(std::string_view path) {
    if (path.size() < 4) return false;
    std::string end(path.substr(path.size() - 4));
    for (char &c : end)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return end == ".csv";
}

}  // namespace kvr::session
