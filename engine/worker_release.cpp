#include "engine/worker_release.h"

namespace mivetrak {

bool WorkerRelease::BeginDiskWork() {
    std::lock_guard<std::mutex> guard(lock_);
    if (letGo_) return false;
    busy_ = true;
    return true;
}

void WorkerRelease::EndDiskWork() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        busy_ = false;
    }
    idle_.notify_all();
}

void WorkerRelease::StoreResult(ExitCode& exitCode, ExitCode result) {
    std::lock_guard<std::mutex> guard(lock_);
    if (letGo_) return;
    exitCode = result;
    stored_ = true;
}

bool WorkerRelease::LetGo() {
    std::unique_lock<std::mutex> guard(lock_);
    // No stretch begins from here on; the one under way, if any, is waited for.
    letGo_ = true;
    idle_.wait(guard, [this] { return !busy_; });
    return stored_;
}

}  // namespace mivetrak
