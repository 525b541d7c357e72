#pragma once
// The run's log, one sentence a call, for whoever has to find out afterwards what a run did and
// why. Writing never fails the caller and never changes what the program does: a line that
// cannot be written is lost, nothing more.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace mivetrak {

class System;

class Log {
public:
    virtual ~Log() = default;
    // One sentence without a line end; the log adds the time and the process id.
    virtual void Write(const std::string& sentence) = 0;
    // The folder (a path ending in a backslash) that the log's file is kept in, once the program
    // knows it. The lines written before go there first; a log without a file ignores it.
    virtual void StartFileIn(const std::string& /*folder*/) {}
};

// A log that keeps nothing.
class NullLog final : public Log {
public:
    void Write(const std::string&) override {}
};

// "error N: <the system's text for N>" (or "error N" when the system has no text), without the
// text's line break and full stop, for the failure lines of the log.
std::string DescribeSystemError(System& system, uint32_t code);

// A file's or a server's time (UTC) for a log line: "2024-03-05 06:07:08 UTC".
std::string DescribeTime(const SystemTime& time);

// Text from outside (a header, a URL from the update index) for a log line: in double quotes,
// with every byte that is not printable ASCII, and the quote and the backslash, written as \xNN,
// so that such text can neither break a line nor pass for a line of its own.
std::string QuotedForLog(std::string_view text);

}  // namespace mivetrak
