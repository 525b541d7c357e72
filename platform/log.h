#pragma once
// The run's log, one sentence a call, for whoever has to find out afterwards what a run did and
// why. Writing never fails the caller and never changes what the program does: a line that
// cannot be written is lost, nothing more.
#include <cstdint>
#include <string>

namespace mivetrak {

class System;

class Log {
public:
    virtual ~Log() = default;
    // One sentence without a line end; the log adds the time and the process id.
    virtual void Write(const std::string& sentence) = 0;
};

// A log that keeps nothing.
class NullLog final : public Log {
public:
    void Write(const std::string&) override {}
};

// "error N: <the system's text for N>" (or "error N" when the system has no text), for the
// failure lines of the log.
std::string DescribeSystemError(System& system, uint32_t code);

}  // namespace mivetrak
