#include "keyed_file/record_checksum.h"

#include "common/crc32c.h"

namespace kvr::keyed {

std::uint32_t recordChecksum(std::string_view image) { return common::crc32c(image); }

std::uint32_t recordChecksum(const std::vector<unsigned char> &image) {
    return recordChecksum(std::string_view(reinterpret_cast<const char *>(image.data()), image.size()));
}

}  // namespace kvr::keyed
