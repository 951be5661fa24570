// The plug-in's clock: the stall rule and the year of dates printed without
// one depend on it, so tests replace it instead of waiting.
#pragma once

#include <cstdint>
#include <ctime>

// Now as Unix seconds.
using ClockFn = int64_t (*)();

int64_t SystemNow();

// The local calendar date and time of `now` (Unix seconds).
std::tm LocalTime(int64_t now);
