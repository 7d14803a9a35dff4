#include "runtime/keyed_file/record_checksum.h"

#include <zlib.h>

namespace kvr::runtime {

std::uint32_t recordChecksum(std::string_view image) {
    // Records are a few hundred bytes: one call, whatever uInt's width.
    const uLong crc = ::crc32_z(0L, reinterpret_cast<const Bytef *>(image.data()), image.size());
    return static_cast<std::uint32_t>(crc);
}

std::uint32_t recordChecksum(const std::vector<unsigned char> &image) {
    return recordChecksum(std::string_view(reinterpret_cast<const char *>(image.data()), image.size()));
}

}  // namespace kvr::runtime
