#pragma once
// SystemTime values in the C++ tests, native and Windows alike: building them, comparing them and
// printing them in a failure message.
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>

#include "platform/types.h"

namespace mivetrak {

// The day of the week (0 = Sunday) that the Gregorian calendar gives a date, as the system would
// report it; 0 for a month outside 1 to 12.
inline uint16_t CalendarDayOfWeek(int year, int month, int day) {
    static const int kMonthOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 1 || month > 12) return 0;
    if (month < 3) --year;
    return static_cast<uint16_t>(
        ((year + year / 4 - year / 100 + year / 400 + kMonthOffsets[month - 1] + day) % 7 + 7) % 7);
}

// A time with the day of the week that the calendar gives, unless dayOfWeek names another.
inline SystemTime MakeTime(uint16_t year, uint16_t month, uint16_t day, uint16_t hour,
                           uint16_t minute, uint16_t second, uint16_t milliseconds = 0,
                           int dayOfWeek = -1) {
    SystemTime t;
    t.wYear = year;
    t.wMonth = month;
    t.wDayOfWeek =
        dayOfWeek >= 0 ? static_cast<uint16_t>(dayOfWeek) : CalendarDayOfWeek(year, month, day);
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    t.wMilliseconds = milliseconds;
    return t;
}

// The same date and time to the second; the day of the week and the milliseconds are not looked
// at, as the program compares times.
inline bool SameSecond(const SystemTime& a, const SystemTime& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

// All eight members equal.
inline bool SameMembers(const SystemTime& a, const SystemTime& b) {
    return SameSecond(a, b) && a.wDayOfWeek == b.wDayOfWeek && a.wMilliseconds == b.wMilliseconds;
}

// "2022-03-09 14:25:36.000 (day 3)".
inline std::string TimeText(const SystemTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u (day %u)", t.wYear,
                  t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek);
    return text;
}

// The time as a server writes it in a Last-Modified header: "Wed, 09 Mar 2022 14:25:36 GMT",
// with the weekday named by its day of the week.
inline std::string HttpDateText(const SystemTime& t) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02u %s %04u %02u:%02u:%02u GMT", kDays[t.wDayOfWeek % 7],
                  t.wDay, kMonths[(t.wMonth + 11) % 12], t.wYear, t.wHour, t.wMinute, t.wSecond);
    return text;
}

// How GoogleTest prints a SystemTime in a failed comparison.
inline void PrintTo(const SystemTime& t, std::ostream* out) { *out << TimeText(t); }

}  // namespace mivetrak
