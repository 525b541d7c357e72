#include "net/http_date.h"

#include <cstddef>

namespace mivetrak {

namespace {

constexpr std::string_view kShortDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::string_view kLongDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};
constexpr std::string_view kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct DateFields {
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Walks the text from left to right; every read checks the length first, so nothing past the
// end is ever looked at.
class DateReader {
public:
    explicit DateReader(std::string_view text) : text_(text) {}

    bool AtEnd() const { return pos_ == text_.size(); }

    bool Literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    // Exactly count decimal digits.
    bool Digits(size_t count, int& value) {
        if (text_.size() - pos_ < count) return false;
        int n = 0;
        for (size_t i = 0; i < count; ++i) {
            const char c = text_[pos_ + i];
            if (c < '0' || c > '9') return false;
            n = n * 10 + (c - '0');
        }
        pos_ += count;
        value = n;
        return true;
    }

    // One of names; index is its position in the list.
    template <size_t N>
    bool OneOf(const std::string_view (&names)[N], int& index) {
        for (size_t i = 0; i < N; ++i) {
            if (Literal(names[i])) {
                index = static_cast<int>(i);
                return true;
            }
        }
        return false;
    }

    bool Month(int& month) {
        int index = 0;
        if (!OneOf(kMonthNames, index)) return false;
        month = index + 1;
        return true;
    }

    bool TimeOfDay(DateFields& f) {
        return Digits(2, f.hour) && Literal(":") && Digits(2, f.minute) && Literal(":") &&
               Digits(2, f.second);
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

// Sun, 06 Nov 1994 08:49:37 GMT
bool ReadFixDate(std::string_view text, DateFields& f) {
    f = DateFields{};
    DateReader r(text);
    int weekday = 0;
    return r.OneOf(kShortDayNames, weekday) && r.Literal(", ") && r.Digits(2, f.day) &&
           r.Literal(" ") && r.Month(f.month) && r.Literal(" ") && r.Digits(4, f.year) &&
           r.Literal(" ") && r.TimeOfDay(f) && r.Literal(" GMT") && r.AtEnd();
}

// Sunday, 06-Nov-94 08:49:37 GMT
bool ReadObsoleteDate(std::string_view text, DateFields& f) {
    f = DateFields{};
    DateReader r(text);
    int weekday = 0;
    int shortYear = 0;
    if (!(r.OneOf(kLongDayNames, weekday) && r.Literal(", ") && r.Digits(2, f.day) &&
          r.Literal("-") && r.Month(f.month) && r.Literal("-") && r.Digits(2, shortYear) &&
          r.Literal(" ") && r.TimeOfDay(f) && r.Literal(" GMT") && r.AtEnd())) {
        return false;
    }
    f.year = shortYear >= 70 ? 1900 + shortYear : 2000 + shortYear;
    return true;
}

// Sun Nov  6 08:49:37 1994 (a two-digit day is written without the padding blank)
bool ReadAsctimeDate(std::string_view text, DateFields& f) {
    f = DateFields{};
    DateReader r(text);
    int weekday = 0;
    if (!(r.OneOf(kShortDayNames, weekday) && r.Literal(" ") && r.Month(f.month) &&
          r.Literal(" "))) {
        return false;
    }
    const bool dayRead = r.Literal(" ") ? r.Digits(1, f.day) : r.Digits(2, f.day);
    return dayRead && r.Literal(" ") && r.TimeOfDay(f) && r.Literal(" ") && r.Digits(4, f.year) &&
           r.AtEnd();
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool InRange(const DateFields& f) {
    return f.year >= kFirstHttpDateYear && f.year <= kLastHttpDateYear && f.month >= 1 &&
           f.month <= 12 && f.day >= 1 && f.day <= DaysInMonth(f.year, f.month) && f.hour <= 23 &&
           f.minute <= 59 && f.second <= 59;
}

// 0 = Sunday, as in a SystemTime (Sakamoto's method for the Gregorian calendar).
int DayOfWeek(int year, int month, int day) {
    static constexpr int kMonthOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + kMonthOffsets[month - 1] + day) % 7;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

bool ParseHttpDate(std::string_view text, SystemTime& out) {
    const std::string_view date = TrimBlanks(text);
    DateFields f;
    if (!ReadFixDate(date, f) && !ReadObsoleteDate(date, f) && !ReadAsctimeDate(date, f)) {
        return false;
    }
    if (!InRange(f)) return false;

    out.wYear = static_cast<uint16_t>(f.year);
    out.wMonth = static_cast<uint16_t>(f.month);
    out.wDayOfWeek = static_cast<uint16_t>(DayOfWeek(f.year, f.month, f.day));
    out.wDay = static_cast<uint16_t>(f.day);
    out.wHour = static_cast<uint16_t>(f.hour);
    out.wMinute = static_cast<uint16_t>(f.minute);
    out.wSecond = static_cast<uint16_t>(f.second);
    out.wMilliseconds = 0;
    return true;
}

}  // namespace mivetrak
