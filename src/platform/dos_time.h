// The 32-bit MS-DOS date-time number of a file's local last-write time.
#pragma once

#include <cstdint>

namespace platform {

// Packs a local time; `year` must lie in 1980..2107.
uint32_t PackDosTime(int year, int month, int day, int hour, int minute, int second);

// The number for a local time outside 1980..2107, given in seconds since
// 1601-01-01. It never equals a packed in-range time (its month bits are
// zero, which no valid date has) and it follows the time in two-second steps,
// so such a file is reported when it changes and stays quiet while it does not.
uint32_t OutOfRangeDosTime(int64_t localSeconds);

}  // namespace platform
