// CRC-32C (Castagnoli, the checksum of iSCSI and ext4: reflected
// polynomial 0x82F63B78, initial value and final XOR 0xFFFFFFFF), table
// driven, eight bytes a step.  For checksums of short records, where
// zlib's CRC-32 spends more on each call than on the bytes.
#ifndef KVR_COMMON_CRC32C_H
#define KVR_COMMON_CRC32C_H

#include <cstdint>
#include <string_view>

namespace kvr::common {

// The CRC-32C of bytes; crc: the CRC-32C of the bytes before them, so that
// crc32c(b, crc32c(a)) is the CRC-32C of a followed by b.
std::uint32_t crc32c(std::string_view bytes, std::uint32_t crc = 0);

}  // namespace kvr::common

#endif
