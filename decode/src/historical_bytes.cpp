#include "decode/historical_bytes.h"

namespace kvr::decode {

namespace {

// COMPACT-TLV objects from `from` up to `end`; a length running past `end`
// marks the place and ends the walk.
void readObjects(std::span<const uint8_t> bytes, std::size_t from, std::size_t end, HistoricalBytes &out) {
    std::size_t at = from;
    while (at < end) {
        const uint8_t tag = static_cast<uint8_t>(bytes[at] >> 4);
        const std::size_t length = bytes[at] & 0x0F;
        if (length > end - at - 1) {
            out.brokenAt = at;
            return;
        }
        CompactTlvObject object;
        object.tag = tag;
        object.offset = at;
        object.value.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + 1),
                            bytes.begin() + static_cast<std::ptrdiff_t>(at + 1 + length));
        out.objects.push_back(std::move(object));
        at += 1 + length;
    }
}

// A status indicator of one, two or three bytes: LCS, SW1 SW2, or both.
std::optional<StatusIndicator> statusOf(std::span<const uint8_t> value) {
    StatusIndicator status;
    switch (value.size()) {
    case 1: status.lifeCycle = value[0]; break;
    case 2: status.statusWord = static_cast<uint16_t>(value[0] << 8 | value[1]); break;
    case 3:
        status.lifeCycle = value[0];
        status.statusWord = static_cast<uint16_t>(value[1] << 8 | value[2]);
        break;
    default: return std::nullopt;
    }
    return status;
}

}  // namespace

HistoricalBytes decodeHistoricalBytes(std::span<const uint8_t> bytes) {
    HistoricalBytes out;
    if (bytes.empty()) return out;
    out.indicator = bytes[0];
    switch (bytes[0]) {
    case 0x00:
        out.category = HistoricalCategory::CompactTlvWithStatus;
        if (bytes.size() < 4) {
            // The three status bytes do not fit after the indicator.
            out.brokenAt = bytes.size();
            return out;
        }
        readObjects(bytes, 1, bytes.size() - 3, out);
        out.status = statusOf(bytes.subspan(bytes.size() - 3));
        return out;
    case 0x80:
        out.category = HistoricalCategory::CompactTlv;
        readObjects(bytes, 1, bytes.size(), out);
        for (const CompactTlvObject &object : out.objects)
            if (object.tag == 0x8) out.status = statusOf(object.value);
        return out;
    case 0x10:
        out.category = HistoricalCategory::DirReference;
        out.dirReference.assign(bytes.begin() + 1, bytes.end());
        return out;
    default:
        out.category =
            bytes[0] > 0x80 && bytes[0] <= 0x8F ? HistoricalCategory::Reserved : HistoricalCategory::Proprietary;
        return out;
    }
}

const char *compactTlvTagName(uint8_t tag) {
    switch (tag) {
    case 0x1: return "Código de país";
    case 0x2: return "Identificación del emisor";
    case 0x3: return "Servicios de la tarjeta";
    case 0x4: return "Datos de acceso inicial";
    case 0x5: return "Datos del emisor de la tarjeta";
    case 0x6: return "Datos de preemisión";
    case 0x7: return "Capacidades de la tarjeta";
    case 0x8: return "Indicador de estado";
    case 0xF: return "Identificador de aplicación";
    default: return "";
    }
}

std::string printableText(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const uint8_t byte : bytes) text += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
    return text;
}

}  // namespace kvr::decode
