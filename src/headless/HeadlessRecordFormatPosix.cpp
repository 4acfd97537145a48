// The record times' local zone on POSIX: localtime_r, which reads TZ, and the
// offset it leaves in tm_gmtoff.

#include <time.h>

#include "headless/LocalTime.h"

namespace lanternwick {

LocalTime localTime(const std::time_t seconds) {
    LocalTime local;
    localtime_r(&seconds, &local.calendar);
    local.utcOffsetSeconds = local.calendar.tm_gmtoff;
    return local;
}

}  // namespace lanternwick
