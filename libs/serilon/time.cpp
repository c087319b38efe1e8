// Millisecond ticks, delays and orderable date-times.
#include "serilon/serilon.h"

#include <chrono>
#include <thread>

namespace {

// Days from 1970-01-01 to year-month-day of the proleptic Gregorian calendar, for any
// year; month 1..12, day counted on from the first of the month.
std::int64_t daysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

} // namespace

extern "C" {

uint32_t SerialTickStart(void) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

uint32_t SerialTickElapsed(uint32_t start) {
    // Unsigned subtraction is right across the wrap.
    return SerialTickStart() - start;
}

void SerialDelay(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Seconds since 1970-01-01 00:00:00 of the date-time taken as UTC. Fields are not
// checked: months outside 1..12 carry into the year, days, hours, minutes and seconds
// count on from the month's start, so a later date-time still gives a larger number.
int64_t SerialPackTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                       int32_t second) {
    std::int64_t months = std::int64_t(year) * 12 + (std::int64_t(month) - 1);
    std::int64_t y = months >= 0 ? months / 12 : (months - 11) / 12;
    const std::int64_t m = months - y * 12 + 1;
    const std::int64_t days = daysFromCivil(y, m, 1) + (std::int64_t(day) - 1);
    return days * 86400 + std::int64_t(hour) * 3600 + std::int64_t(minute) * 60 + second;
}

} // extern "C"
