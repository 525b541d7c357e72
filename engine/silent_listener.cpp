#include "engine/silent_listener.h"

namespace mivetrak {

SilentListener::SilentListener(Platform& platform) : platform_(platform) {}

bool SilentListener::RetryFileInUse(const std::string& path) {
    const uint32_t now = platform_.system.TickCount();
    const auto found = inUseSince_.find(path);
    if (found == inUseSince_.end()) {
        inUseSince_.emplace(path, now);
        platform_.log.Write(path +
                            " is in use by another program: it is tried again every 2 s for up "
                            "to 30 s.");
    } else if (now - found->second >= kSilentRetryLimitMilliseconds) {  // wraps like the count
        platform_.log.Write(path + " is still in use after 30 s: the run stops.");
        return false;
    }
    platform_.system.SleepMilliseconds(kSilentRetryIntervalMilliseconds);
    return true;
}

}  // namespace mivetrak
