// HTTP dates: the three forms, fields at the edges of their ranges, and what is refused.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "net/http_date.h"
#include "support/test_time.h"

namespace mivetrak {
namespace {

struct DateCase {
    const char* name;
    std::string text;
    std::optional<SystemTime> time;  // none: refused
};

// A parsed date: milliseconds 0, the day of the week as given.
SystemTime Date(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute,
                uint16_t second, int dayOfWeek) {
    return MakeTime(year, month, day, hour, minute, second, 0, dayOfWeek);
}

class HttpDateTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(HttpDateTest, Parses) {
    const DateCase& c = GetParam();
    const SystemTime untouched = MakeTime(1, 2, 3, 4, 5, 6, 7, 8);
    SystemTime t = untouched;
    ASSERT_EQ(ParseHttpDate(c.text, t), c.time.has_value()) << c.text;
    const SystemTime expected = c.time ? *c.time : untouched;
    EXPECT_TRUE(SameMembers(t, expected)) << TimeText(t) << " instead of " << TimeText(expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpDateTest,
    ::testing::Values(
        DateCase{"FixDate", "Sun, 06 Nov 1994 08:49:37 GMT", Date(1994, 11, 6, 8, 49, 37, 0)},
        DateCase{"Obsolete", "Sunday, 06-Nov-94 08:49:37 GMT", Date(1994, 11, 6, 8, 49, 37, 0)},
        DateCase{"Asctime", "Sun Nov  6 08:49:37 1994", Date(1994, 11, 6, 8, 49, 37, 0)},
        DateCase{"AsctimeTwoDigitDay", "Wed Nov 16 08:49:37 1994",
                 Date(1994, 11, 16, 8, 49, 37, 3)},
        DateCase{"WeekdayNotChecked", "Fri, 06 Nov 1994 08:49:37 GMT",
                 Date(1994, 11, 6, 8, 49, 37, 0)},
        DateCase{"BlanksAround", " \tSun, 06 Nov 1994 08:49:37 GMT\t ",
                 Date(1994, 11, 6, 8, 49, 37, 0)},
        DateCase{"LeapDay", "Thu, 29 Feb 2024 23:59:59 GMT", Date(2024, 2, 29, 23, 59, 59, 4)},
        DateCase{"LeapDay2000", "Tue, 29 Feb 2000 00:00:00 GMT", Date(2000, 2, 29, 0, 0, 0, 2)},
        DateCase{"FirstYear", "Wed, 01 Jan 1902 00:00:00 GMT", Date(1902, 1, 1, 0, 0, 0, 3)},
        DateCase{"LastYear", "Sun, 31 Dec 2445 23:59:59 GMT", Date(2445, 12, 31, 23, 59, 59, 0)},
        DateCase{"ObsoleteEpoch", "Thursday, 01-Jan-70 00:00:00 GMT", Date(1970, 1, 1, 0, 0, 0, 4)},
        DateCase{"ObsoleteYear69", "Tuesday, 31-Dec-69 12:00:00 GMT",
                 Date(2069, 12, 31, 12, 0, 0, 2)},
        DateCase{"Empty", "", std::nullopt},
        DateCase{"Garbage", "garbage, not a date", std::nullopt},
        DateCase{"AllOutOfRange", "32 Foo 2024 25:61:61", std::nullopt},
        DateCase{"TrailingText", "Sun, 06 Nov 1994 08:49:37 GMT x", std::nullopt},
        DateCase{"TrailingNul", std::string("Sun, 06 Nov 1994 08:49:37 GMT\0", 30), std::nullopt},
        DateCase{"Truncated", "Sun, 06 Nov 1994 08:49", std::nullopt},
        DateCase{"OtherZone", "Sun, 06 Nov 1994 08:49:37 UTC", std::nullopt},
        DateCase{"AsctimeWithZone", "Sun Nov  6 08:49:37 1994 GMT", std::nullopt},
        DateCase{"AsctimeUnpadded", "Sun Nov 6 08:49:37 1994", std::nullopt},
        DateCase{"OneDigitDay", "Sun, 6 Nov 1994 08:49:37 GMT", std::nullopt},
        DateCase{"LowerCaseMonth", "Sun, 06 nov 1994 08:49:37 GMT", std::nullopt},
        DateCase{"LongDayInFixDate", "Sunday, 06 Nov 1994 08:49:37 GMT", std::nullopt},
        DateCase{"ShortDayObsolete", "Sun, 06-Nov-94 08:49:37 GMT", std::nullopt},
        DateCase{"ObsoleteLongYear", "Sunday, 06-Nov-1994 08:49:37 GMT", std::nullopt},
        DateCase{"Day0", "Sun, 00 Nov 1994 08:49:37 GMT", std::nullopt},
        DateCase{"April31", "Wed, 31 Apr 2024 08:49:37 GMT", std::nullopt},
        DateCase{"Feb29NotLeap", "Wed, 29 Feb 2023 08:49:37 GMT", std::nullopt},
        DateCase{"Feb29In1900", "Thu, 29 Feb 1900 08:49:37 GMT", std::nullopt},
        DateCase{"Hour24", "Sun, 06 Nov 1994 24:00:00 GMT", std::nullopt},
        DateCase{"Minute60", "Sun, 06 Nov 1994 08:60:37 GMT", std::nullopt},
        DateCase{"Second60", "Sun, 06 Nov 1994 08:49:60 GMT", std::nullopt},
        DateCase{"BeforeFirstYear", "Tue, 31 Dec 1901 23:59:59 GMT", std::nullopt},
        DateCase{"AfterLastYear", "Mon, 01 Jan 2446 00:00:00 GMT", std::nullopt},
        DateCase{"FirstFileTime", "Mon, 01 Jan 1601 00:00:00 GMT", std::nullopt},
        DateCase{"LastFourDigitYear", "Fri, 31 Dec 9999 23:59:59 GMT", std::nullopt},
        DateCase{"Year1600", "Sun, 31 Dec 1600 23:59:59 GMT", std::nullopt}),
    [](const ::testing::TestParamInfo<DateCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace mivetrak
