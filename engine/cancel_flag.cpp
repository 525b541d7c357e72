#include "engine/cancel_flag.h"

#include <memory>
#include <mutex>

namespace mivetrak {

namespace {
// The flag and its lock. The lock exists from SetupCancelFlag(true) to SetupCancelFlag(false);
// only the main thread runs then, so creating and deleting it needs no lock of its own.
bool cancelFlag = false;
std::unique_ptr<std::mutex> cancelFlagLock;
}  // namespace

void SetupCancelFlag(bool create) {
    if (create) {
        cancelFlagLock = std::make_unique<std::mutex>();
        cancelFlag = false;
    } else {
        cancelFlagLock.reset();
    }
}

std::mutex* CancelFlagLock() { return cancelFlagLock.get(); }

void SetCancelFlag(bool raised) {
    if (!cancelFlagLock) {
        // Outside the flag's lifetime no second thread exists.
        cancelFlag = raised;
        return;
    }
    std::lock_guard<std::mutex> lock(*cancelFlagLock);
    cancelFlag = raised;
}

void GetCancelFlag(bool& raised) {
    if (!cancelFlagLock) {
        raised = cancelFlag;
        return;
    }
    std::lock_guard<std::mutex> lock(*cancelFlagLock);
    raised = cancelFlag;
}

bool CancelRequested() {
    bool raised = false;
    GetCancelFlag(raised);
    return raised;
}

}  // namespace mivetrak
