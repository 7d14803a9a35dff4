#include "common/local_time.h"

namespace kvr::common {

std::tm localTimeOf(std::time_t seconds) {
    std::tm parts{};
    // The C runtime's localtime_s takes its arguments the other way round
    // from C11's, and returns an error number.
    if (::localtime_s(&parts, &seconds) != 0) return std::tm{};
    return parts;
}

}  // namespace kvr::common
