#include "app/run_locks.h"

namespace mivetrak {

std::string HandOverLockName(uint32_t processId) {
    return "Local\\Mivetrak.HandOver." + std::to_string(processId);
}

bool RunLocks::Take(bool restarted, SystemError& error) {
    if (!restarted) {
        instance_ = system_.TryLockNamed(kInstanceLockName, error);
        if (!instance_) return false;
    }
    workFolder_ = system_.TryLockNamed(kWorkFolderLockName, error);
    if (!workFolder_) {
        instance_.reset();
        return false;
    }
    return true;
}

void RunLocks::HandOverWorkFolder() { workFolder_.reset(); }

bool RunLocks::TakeBackWorkFolder(SystemError& error) {
    workFolder_ = system_.TryLockNamed(kWorkFolderLockName, error);
    return workFolder_ != nullptr;
}

void RunLocks::Release() {
    workFolder_.reset();
    instance_.reset();
}

}  // namespace mivetrak
