#include "platform/dos_time.h"

namespace platform {

uint32_t PackDosTime(int year, int month, int day, int hour, int minute, int second) {
    uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
    uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
    return (date << 16) | time;
}

uint32_t OutOfRangeDosTime(int64_t localSeconds) {
    // Floor division keeps odd negative seconds in their two-second step.
    int64_t steps = localSeconds >= 0 ? localSeconds / 2 : -((1 - localSeconds) / 2);
    auto bits = static_cast<uint32_t>(static_cast<uint64_t>(steps) & 0x0FFFFFFF);
    // Bits 24..21 (the month) stay zero; the 28 bits go around them.
    return (bits & 0x1FFFFF) | ((bits >> 21) << 25);
}

}  // namespace platform
