// What the data objects of a file's control information mean (ISO/IEC
// 7816-4): the FCP, FMD and FCI templates (62, 64, 6F), the objects they
// hold (80..8E, A0..AC, A5) and the interindustry application objects
// (4F, 50, 5F2D, 61).  The context-specific tags 80..BF are only named
// inside one of the three templates: elsewhere they mean what the card
// says they mean.
#ifndef KVR_DECODE_FCP_TAGS_H
#define KVR_DECODE_FCP_TAGS_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kvr::decode {

// The tag's name (Spanish); empty when it has none in that place.  parent
// is the tag of the template holding it, empty at the top.
const char *tlvTagName(uint32_t tag, std::optional<uint32_t> parent);

// The file descriptor (tag 82): its first byte, and the data coding byte,
// maximum record size and number of records when given.
struct FileDescriptor {
    enum class Kind { WorkingEf, InternalEf, ProprietaryEf, Df, BerTlvEf, SimpleTlvEf, Rfu };
    Kind kind = Kind::Rfu;
    bool shareable = false;
    // EF structure, bits 3..1 of the first byte (working and internal EFs).
    enum class Structure {
        NoInformation,
        Transparent,
        LinearFixed,
        LinearFixedTlv,
        LinearVariable,
        LinearVariableTlv,
        Cyclic,
        CyclicTlv
    };
    std::optional<Structure> structure;
    std::optional<uint8_t> dataCoding;
    std::optional<unsigned> maxRecordSize;
    std::optional<unsigned> records;
};
std::optional<FileDescriptor> decodeFileDescriptor(std::span<const uint8_t> value);

// The life cycle status byte (tag 8A, and the LCS of an ATR's status
// indicator) in words.
std::string lifeCycleStatusText(uint8_t lcs);

// What the value means, in words, where more can be said than its bytes:
// sizes, the file descriptor, the short EF identifier, the life cycle
// status, names in characters.  Empty otherwise.
std::string tlvValueMeaning(uint32_t tag, std::optional<uint32_t> parent, std::span<const uint8_t> value);

}  // namespace kvr::decode

#endif
