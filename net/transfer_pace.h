#pragma once
// The pace a transfer must keep. The Internet library's own limit is an idle one: it waits at
// most so long for the next bytes, and starts again with every byte, so that a server sending a
// byte now and then could keep a run going for days. A transfer that is not finished and has
// received fewer than kPaceBytes during the last kPaceMilliseconds fails as one that timed out;
// a database sent at 56 kbit/s keeps that pace hundreds of times over.
#include <cstdint>
#include <deque>
#include <string>

#include "platform/system.h"

namespace mivetrak {

constexpr uint32_t kPaceBytes = 1024;
constexpr uint32_t kPaceMilliseconds = 60000;

class TransferPace {
public:
    // The clock starts now.
    explicit TransferPace(System& system);
    // Counts bytes that have arrived now. False once the transfer has gone on for a whole window
    // and the window that ends now brought fewer than kPaceBytes.
    bool Keep(uint32_t bytes);
    // "12 bytes in the last 60000 ms, ...", for the log line of a transfer that fell behind.
    std::string Describe() const;

private:
    struct Arrival {
        uint32_t tick;
        uint32_t bytes;
    };

    System& system_;
    const uint32_t start_;
    // What arrived within the last window, oldest first, and its sum.
    std::deque<Arrival> recent_;
    uint64_t recentBytes_ = 0;
};

}  // namespace mivetrak
