// BER-TLV data objects (ISO/IEC 7816-4): tags of one to three bytes, the
// constructed bit (whose value is read again as objects), lengths in the
// short form (00..7F) and the long forms 81, 82, 83 and 84, and the 00 and
// FF bytes allowed between objects as padding, skipped.
//
// Nothing is read beyond the bytes given.  The first thing that does not
// parse (a cut tag or length, a length running past the object that holds
// it or past the data) ends the walk: the objects read so far are kept and
// `error` says where and why.
#ifndef KVR_DECODE_BER_TLV_H
#define KVR_DECODE_BER_TLV_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kvr::decode {

// Objects nested deeper than this are not read (an error): the value of
// the innermost is left undecoded.
inline constexpr int kTlvMaxDepth = 32;

struct TlvObject {
    uint32_t tag = 0;  // its bytes, big-endian: 0x6F, 0x5F2D, 0xDF8101
    std::size_t tagLength = 1;
    bool constructed = false;
    std::size_t offset = 0;       // of the tag, in the data given
    std::size_t valueOffset = 0;  // of the value
    std::vector<uint8_t> value;
    std::vector<TlvObject> children;  // constructed: the objects of its value

    std::string tagText() const;  // "6F", "5F2D"
};

struct TlvError {
    std::size_t offset = 0;
    std::string reason;  // Spanish
};

struct TlvData {
    std::vector<TlvObject> objects;
    std::optional<TlvError> error;

    // The whole data is objects (and padding), at least one of them.
    bool parsed() const { return !error && !objects.empty(); }
};

TlvData decodeBerTlv(std::span<const uint8_t> bytes);

}  // namespace kvr::decode

#endif
