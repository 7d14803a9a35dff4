#include "common/local_time.h"

namespace kvr::common {

std::tm localTimeOf(std::time_t seconds) {
    std::tm parts{};
    if (::localtime_r(&seconds, &parts) == nullptr) return std::tm{};
    return parts;
}

}  // namespace kvr::common
