#pragma once
// Building SystemTime values in tests.
#include <cstdint>

#include "platform/types.h"

namespace mivetrak {

inline SystemTime MakeTime(uint16_t year, uint16_t month, uint16_t day, uint16_t hour,
                           uint16_t minute, uint16_t second, uint16_t milliseconds = 0,
                           uint16_t dayOfWeek = 0) {
    SystemTime t;
    t.wYear = year;
    t.wMonth = month;
    t.wDayOfWeek = dayOfWeek;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    t.wMilliseconds = milliseconds;
    return t;
}

}  // namespace mivetrak
