#include "net/transfer_pace.h"

namespace mivetrak {

TransferPace::TransferPace(System& system) : system_(system), start_(system.TickCount()) {}

bool TransferPace::Keep(uint32_t bytes) {
    const uint32_t now = system_.TickCount();
    recent_.push_back({now, bytes});
    recentBytes_ += bytes;
    // Ticks are compared by their distance from now, which the counter's wrap does not change.
    while (!recent_.empty() && now - recent_.front().tick > kPaceMilliseconds) {
        recentBytes_ -= recent_.front().bytes;
        recent_.pop_front();
    }
    return now - start_ < kPaceMilliseconds || recentBytes_ >= kPaceBytes;
}

std::string TransferPace::Describe() const {
    return std::to_string(recentBytes_) + " bytes in the last " +
           std::to_string(kPaceMilliseconds) + " ms, fewer than the " + std::to_string(kPaceBytes) +
           " that a transfer must keep up";
}

}  // namespace mivetrak
