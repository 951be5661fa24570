// Seconds since the epoch of a wall-clock time in the process's time zone,
// for tests that set a clock to a day and hour.
#pragma once

#include <cstdint>
#include <ctime>

namespace testing_support {

// The zone decides whether daylight saving applies, as it does for the
// program under test.
inline int64_t LocalSeconds(int year, int month, int day, int hour, int minute) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&fields));
}

}  // namespace testing_support
