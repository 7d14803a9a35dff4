// The historical bytes of an ATR (ISO/IEC 7816-4): the category indicator,
// the COMPACT-TLV objects that categories 00 and 80 carry, the status
// indicator, the DIR data reference of category 10; any other category is
// the card maker's, shown as bytes and characters.
#ifndef KVR_DECODE_HISTORICAL_BYTES_H
#define KVR_DECODE_HISTORICAL_BYTES_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kvr::decode {

enum class HistoricalCategory {
    None,                  // no historical bytes
    CompactTlvWithStatus,  // 00: objects, then a status indicator of three bytes
    CompactTlv,            // 80: objects, the status indicator among them (tag 8)
    DirReference,          // 10: a DIR data reference follows
    Reserved,              // 81..8F: reserved for future use
    Proprietary            // any other first byte
};

// One COMPACT-TLV object: tag and length in one byte (tag high nibble).
struct CompactTlvObject {
    uint8_t tag = 0;  // 0..F
    std::vector<uint8_t> value;
    std::size_t offset = 0;  // of its tag-length byte, within the historical bytes
};

// The card's life cycle status and status word, as far as given.
struct StatusIndicator {
    std::optional<uint8_t> lifeCycle;
    std::optional<uint16_t> statusWord;
};

struct HistoricalBytes {
    HistoricalCategory category = HistoricalCategory::None;
    uint8_t indicator = 0;
    std::vector<CompactTlvObject> objects;
    std::optional<StatusIndicator> status;
    std::vector<uint8_t> dirReference;
    // Where the objects stopped making sense (an object running past the
    // bytes), within the historical bytes; empty when they all fit.
    std::optional<std::size_t> brokenAt;
};

HistoricalBytes decodeHistoricalBytes(std::span<const uint8_t> bytes);

// The name of a COMPACT-TLV tag ("Código de país"); empty when unassigned.
const char *compactTlvTagName(uint8_t tag);

// The bytes as characters, "." for what is not printable ASCII.
std::string printableText(std::span<const uint8_t> bytes);

}  // namespace kvr::decode

#endif
