// HTTP dates: the three forms, fields at the edges of their ranges, and what is refused.
#include <gtest/gtest.h>

#include "net/http_date.h"
#include "worker_harness.h"

namespace mivetrak {
namespace {

using worker_test::SameTime;
using worker_test::TimeText;

struct DateCase {
    const char* name;
    std::string text;
    const char* time;  // nullptr: refused
    uint16_t dayOfWeek;
};

class HttpDateTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(HttpDateTest, Parses) {
    const DateCase& c = GetParam();
    const SystemTime untouched = MakeTime(1, 2, 3, 4, 5, 6, 7, 8);
    SystemTime t = untouched;
    ASSERT_EQ(ParseHttpDate(c.text, t), c.time != nullptr) << c.text;
    if (c.time == nullptr) {
        EXPECT_TRUE(SameTime(t, untouched) && t.wDayOfWeek == 8) << TimeText(t);
        return;
    }
    EXPECT_EQ(TimeText(t), c.time);
    EXPECT_EQ(t.wDayOfWeek, c.dayOfWeek);
    EXPECT_EQ(t.wMilliseconds, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpDateTest,
    ::testing::Values(
        DateCase{"FixDate", "Sun, 06 Nov 1994 08:49:37 GMT", "1994-11-06 08:49:37", 0},
        DateCase{"Obsolete", "Sunday, 06-Nov-94 08:49:37 GMT", "1994-11-06 08:49:37", 0},
        DateCase{"Asctime", "Sun Nov  6 08:49:37 1994", "1994-11-06 08:49:37", 0},
        DateCase{"AsctimeTwoDigitDay", "Wed Nov 16 08:49:37 1994", "1994-11-16 08:49:37", 3},
        DateCase{"WeekdayNotChecked", "Fri, 06 Nov 1994 08:49:37 GMT", "1994-11-06 08:49:37", 0},
        DateCase{"BlanksAround", " \tSun, 06 Nov 1994 08:49:37 GMT\t ", "1994-11-06 08:49:37", 0},
        DateCase{"LeapDay", "Thu, 29 Feb 2024 23:59:59 GMT", "2024-02-29 23:59:59", 4},
        DateCase{"LeapDay2000", "Tue, 29 Feb 2000 00:00:00 GMT", "2000-02-29 00:00:00", 2},
        DateCase{"FirstYear", "Mon, 01 Jan 1601 00:00:00 GMT", "1601-01-01 00:00:00", 1},
        DateCase{"LastYear", "Fri, 31 Dec 9999 23:59:59 GMT", "9999-12-31 23:59:59", 5},
        DateCase{"ObsoleteEpoch", "Thursday, 01-Jan-70 00:00:00 GMT", "1970-01-01 00:00:00", 4},
        DateCase{"ObsoleteYear69", "Tuesday, 31-Dec-69 12:00:00 GMT", "2069-12-31 12:00:00", 2},
        DateCase{"Empty", "", nullptr, 0}, DateCase{"Garbage", "garbage, not a date", nullptr, 0},
        DateCase{"AllOutOfRange", "32 Foo 2024 25:61:61", nullptr, 0},
        DateCase{"TrailingText", "Sun, 06 Nov 1994 08:49:37 GMT x", nullptr, 0},
        DateCase{"TrailingNul", std::string("Sun, 06 Nov 1994 08:49:37 GMT\0", 30), nullptr, 0},
        DateCase{"Truncated", "Sun, 06 Nov 1994 08:49", nullptr, 0},
        DateCase{"OtherZone", "Sun, 06 Nov 1994 08:49:37 UTC", nullptr, 0},
        DateCase{"AsctimeWithZone", "Sun Nov  6 08:49:37 1994 GMT", nullptr, 0},
        DateCase{"AsctimeUnpadded", "Sun Nov 6 08:49:37 1994", nullptr, 0},
        DateCase{"OneDigitDay", "Sun, 6 Nov 1994 08:49:37 GMT", nullptr, 0},
        DateCase{"LowerCaseMonth", "Sun, 06 nov 1994 08:49:37 GMT", nullptr, 0},
        DateCase{"LongDayInFixDate", "Sunday, 06 Nov 1994 08:49:37 GMT", nullptr, 0},
        DateCase{"ShortDayObsolete", "Sun, 06-Nov-94 08:49:37 GMT", nullptr, 0},
        DateCase{"ObsoleteLongYear", "Sunday, 06-Nov-1994 08:49:37 GMT", nullptr, 0},
        DateCase{"Day0", "Sun, 00 Nov 1994 08:49:37 GMT", nullptr, 0},
        DateCase{"April31", "Wed, 31 Apr 2024 08:49:37 GMT", nullptr, 0},
        DateCase{"Feb29NotLeap", "Wed, 29 Feb 2023 08:49:37 GMT", nullptr, 0},
        DateCase{"Feb29In1900", "Thu, 29 Feb 1900 08:49:37 GMT", nullptr, 0},
        DateCase{"Hour24", "Sun, 06 Nov 1994 24:00:00 GMT", nullptr, 0},
        DateCase{"Minute60", "Sun, 06 Nov 1994 08:60:37 GMT", nullptr, 0},
        DateCase{"Second60", "Sun, 06 Nov 1994 08:49:60 GMT", nullptr, 0},
        DateCase{"Year1600", "Sun, 31 Dec 1600 23:59:59 GMT", nullptr, 0}),
    [](const ::testing::TestParamInfo<DateCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace mivetrak
