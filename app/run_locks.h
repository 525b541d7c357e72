#pragma once
// The locks that keep runs of the program apart, in the session's namespace.
//
// The instance lock stands for a run the user started: a second start finds it taken. The work
// folder lock stands for the right to touch the work folder: only its holder creates, uses or
// removes it. A run that restarts itself with administrator rights keeps the instance lock, so
// that no second start slips in while the consent prompt is open, and hands the work folder lock
// on to the restarted run, which takes it and not the instance lock. Two runs never share the
// work folder.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/system.h"

namespace mivetrak {

constexpr char kInstanceLockName[] = "Local\\Mivetrak.Instance";
constexpr char kWorkFolderLockName[] = "Local\\Mivetrak.WorkFolder";

// The lock that a run holds while the run it restarted with administrator rights goes on, named
// after the waiting run's process id: the restarted run, its child, finds it by its parent's id,
// which a run started by hand cannot.
std::string HandOverLockName(uint32_t processId);

class RunLocks {
public:
    explicit RunLocks(System& system) : system_(system) {}

    // Takes the instance lock (not for a restarted run) and the work folder lock. False, with the
    // system's error, when another run holds one of them; then none is held.
    bool Take(bool restarted, SystemError& error);
    // Lets the work folder lock go, for the restarted run to take.
    void HandOverWorkFolder();
    // Takes the work folder lock back after a restart that did not happen; false when another
    // run took it meanwhile.
    bool TakeBackWorkFolder(SystemError& error);
    bool HoldsWorkFolder() const { return workFolder_ != nullptr; }
    // Gives both locks back.
    void Release();

private:
    System& system_;
    std::unique_ptr<ProcessLock> instance_;
    std::unique_ptr<ProcessLock> workFolder_;
};

}  // namespace mivetrak
