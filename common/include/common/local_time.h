// The local time of a moment: the platform seam over the C library's
// re-entrant calls (localtime_r on POSIX, localtime_s on Windows), which
// read the system's time zone and give each caller its own result.
#ifndef KVR_COMMON_LOCAL_TIME_H
#define KVR_COMMON_LOCAL_TIME_H

#include <ctime>

namespace kvr::common {

// The calendar parts of `seconds` in the local time zone; all zero when the
// moment cannot be represented.
std::tm localTimeOf(std::time_t seconds);

}  // namespace kvr::common

#endif
