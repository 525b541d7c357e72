#pragma once
// The worker's listener in a silent run, where nobody is there: nothing is shown, nothing is
// asked, and the download goes on to its end. A file in use is tried again every 2 s, for up to
// 30 s in all for each file; then the run stops as if a user had declined.
#include <cstdint>
#include <map>
#include <string>

#include "platform/platform.h"
#include "protocol/worker_listener.h"

namespace mivetrak {

constexpr uint32_t kSilentRetryIntervalMilliseconds = 2000;
constexpr uint32_t kSilentRetryLimitMilliseconds = 30000;

class SilentListener final : public WorkerListener {
public:
    explicit SilentListener(Platform& platform);

    void Progress(ProgressPhase, int) override {}
    void Alert(AlertCode) override {}
    bool RetryFileInUse(const std::string& path) override;
    WindowHandle OwnerWindow() override { return nullptr; }
    bool Following() override { return true; }
    bool UserPresent() override { return false; }

private:
    Platform& platform_;
    // When each file was first found in use, by its path.
    std::map<std::string, uint32_t> inUseSince_;
};

}  // namespace mivetrak
