#include "engine/cancel_flag.h"

#include <memory>
#include <mutex>

namespace mivetrak {

namespace {
// The flag and its lock. The lock exists from SetupCancelFlag(1) to SetupCancelFlag(0); only
// the main thread runs then, so creating and deleting it needs no lock of its own.
int32_t cancelFlag = 0;
std::unique_ptr<std::mutex> cancelFlagLock;
}  // namespace

void SetupCancelFlag(int32_t mode) {
    if (mode != 0) {
        cancelFlagLock = std::make_unique<std::mutex>();
        cancelFlag = 0;
    } else {
        cancelFlagLock.reset();  // the flag keeps its value
    }
}

bool CancelFlagLockExists() { return cancelFlagLock != nullptr; }

void SetCancelFlag(int32_t value) {
    if (!cancelFlagLock) {
        // Outside the flag's lifetime no second thread exists.
        cancelFlag = value;
        return;
    }
    std::lock_guard<std::mutex> lock(*cancelFlagLock);
    cancelFlag = value;
}

void GetCancelFlag(int32_t& value) {
    if (!cancelFlagLock) {
        value = cancelFlag;
        return;
    }
    std::lock_guard<std::mutex> lock(*cancelFlagLock);
    value = cancelFlag;
}

}  // namespace mivetrak
