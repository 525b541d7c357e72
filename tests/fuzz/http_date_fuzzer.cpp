// HTTP dates on any bytes: an accepted date is in range, its day of week is right, and written
// back in each of the three forms it reads as the same time.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "net/http_date.h"

using namespace mivetrak;

namespace {

const char* const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysIn(int y, int m) {
    const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Counted from 1 January 1601, a Monday: another way to the weekday than the parser's formula.
int WeekdayByCounting(int y, int m, int d) {
    auto leapsBefore = [](int year) { return year / 4 - year / 100 + year / 400; };
    long days = 365L * (y - 1601) + (leapsBefore(y - 1) - leapsBefore(1600));
    for (int month = 1; month < m; ++month) days += DaysIn(y, month);
    days += d - 1;
    return static_cast<int>((1 + days) % 7);
}

// What follows the weekday name: the part of a date that the parser reads.
std::string_view AfterWeekday(std::string_view date) {
    return date.substr(std::min(date.find_first_of(", "), date.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    SystemTime t;
    if (!ParseHttpDate(text, t)) return 0;

    FUZZ_CHECK(t.wYear >= kFirstHttpDateYear && t.wYear <= kLastHttpDateYear);
    FUZZ_CHECK(t.wMonth >= 1 && t.wMonth <= 12);
    FUZZ_CHECK(t.wDay >= 1 && t.wDay <= DaysIn(t.wYear, t.wMonth));
    FUZZ_CHECK(t.wHour <= 23 && t.wMinute <= 59 && t.wSecond <= 59 && t.wMilliseconds == 0);
    FUZZ_CHECK(t.wDayOfWeek == WeekdayByCounting(t.wYear, t.wMonth, t.wDay));

    // Written back in each form, the time reads the same; and the text was one of them, but for
    // its weekday name and the blanks around it.
    char forms[4][64];
    std::snprintf(forms[0], sizeof forms[0], "%s, %02u %s %04u %02u:%02u:%02u GMT",
                  kShortDays[t.wDayOfWeek], t.wDay, kMonths[t.wMonth - 1], t.wYear, t.wHour,
                  t.wMinute, t.wSecond);
    for (int zeroPadded = 0; zeroPadded < 2; ++zeroPadded) {
        std::snprintf(
            forms[1 + zeroPadded], sizeof forms[1],
            zeroPadded ? "%s %s %02u %02u:%02u:%02u %04u" : "%s %s %2u %02u:%02u:%02u %04u",
            kShortDays[t.wDayOfWeek], kMonths[t.wMonth - 1], t.wDay, t.wHour, t.wMinute, t.wSecond,
            t.wYear);
    }
    const bool twoDigitYear = t.wYear >= 1970 && t.wYear <= 2069;
    std::snprintf(forms[3], sizeof forms[3], "%s, %02u-%s-%02u %02u:%02u:%02u GMT",
                  kLongDays[t.wDayOfWeek], t.wDay, kMonths[t.wMonth - 1], t.wYear % 100, t.wHour,
                  t.wMinute, t.wSecond);
    const std::string_view date = AfterWeekday(text.substr(text.find_first_not_of(" \t")));
    bool matched = false;
    for (int i = 0; i < (twoDigitYear ? 4 : 3); ++i) {
        SystemTime again;
        FUZZ_CHECK(ParseHttpDate(forms[i], again));
        FUZZ_CHECK(std::memcmp(&again, &t, sizeof again) == 0);  // all eight fields
        matched =
            matched || date.substr(0, date.find_last_not_of(" \t") + 1) == AfterWeekday(forms[i]);
    }
    FUZZ_CHECK(matched);
    return 0;
}
