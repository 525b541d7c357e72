#pragma once
// Reading an HTTP date (a Last-Modified header) into a SystemTime with our own strict code: no
// locale, no time zone, no library conversion, so that neither a hostile header nor the
// machine's settings decide what time the program stamps on a file.
#include <cstdint>
#include <string_view>

#include "platform/types.h"

namespace mivetrak {

// The years a date may name: those whose every second can be stamped on a file and read back as
// it was, so that the next run compares the server's time with the very same time. A SystemTime
// holds years up to 30827, but the disk does not: the earliest file time, 1601-01-01 00:00:00,
// is the zero that tells the system to leave a time unchanged, and under Wine a file's time is
// kept by the Linux file system, which on ext4 keeps 1901-12-13 20:45:52 to 2446-05-10 22:38:55
// and silently pins anything outside to those ends. A date stamped at the far end would read
// back earlier than the server's, and every later run would download the database again.
constexpr uint16_t kFirstHttpDateYear = 1902;
constexpr uint16_t kLastHttpDateYear = 2445;

// True, with out set, when text is one of the three forms HTTP allows, all in GMT:
//   Sun, 06 Nov 1994 08:49:37 GMT    the preferred form
//   Sunday, 06-Nov-94 08:49:37 GMT   the obsolete form with a two-digit year
//   Sun Nov  6 08:49:37 1994         the asctime form, its day padded with a space
// Names must have the case shown. The weekday must be a name of the form's kind but need not
// agree with the date; out's day of week is computed from the date, its milliseconds are 0.
// Blanks (space, tab) around the date are allowed, as around any header value. Every field must
// be in range: the day exists in its month (leap years included), hours 0-23, minutes and seconds
// 0-59, the year within the bounds above.
//
// A two-digit year is read in 1970-2069. A date more than 50 years ahead is meant to be taken in
// the past century; reckoning that from today would make the result depend on the machine's
// clock, so the window is fixed where that rule put it in 2019. It keeps "70", the Unix epoch that
// servers send for an unknown date, in 1970.
//
// False, with out untouched, for anything else: empty text, other zones, trailing text, fields
// out of range.
bool ParseHttpDate(std::string_view text, SystemTime& out);

}  // namespace mivetrak
