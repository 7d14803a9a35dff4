// The checksum an SQLite file keeps beside each record: the CRC-32C of the
// bytes from which the store makes the record whole again (without the
// blank tail; the team library keeps its own of the field values,
// postgres/record_columns.h), so that a record whose bytes changed in the storage since
// the engine wrote it (a flipped bit on the disk, a page restored from a
// bad journal, a column changed by hand) is reported as damage instead of
// delivered.
#ifndef KVR_KEYED_RECORD_CHECKSUM_H
#define KVR_KEYED_RECORD_CHECKSUM_H

#include <cstdint>
#include <string_view>
#include <vector>

namespace kvr::keyed {

std::uint32_t recordChecksum(std::string_view image);
std::uint32_t recordChecksum(const std::vector<unsigned char> &image);

}  // namespace kvr::keyed

#endif
