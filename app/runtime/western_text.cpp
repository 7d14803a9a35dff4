#include "runtime/western_text.h"

#include "common/windows1252.h"

namespace kvr::runtime {

std::string utf8FromWestern(std::string_view bytes) { return common::utf8OfWestern(bytes); }

std::string westernFromUtf8(std::string_view text) { return common::westernOfUtf8(text); }

}  // namespace kvr::runtime
