#include "clock.h"

int64_t SystemNow() {
    return static_cast<int64_t>(std::time(nullptr));
}

std::tm LocalTime(int64_t now) {
    const time_t seconds = static_cast<time_t>(now);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        // Out of the calendar's range: the epoch keeps the year inference sane.
        const time_t epoch = 0;
        localtime_r(&epoch, &local);
    }
    return local;
}
