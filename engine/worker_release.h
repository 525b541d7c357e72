#pragma once
// What lets the update run stop waiting for a worker that is blocked on the network (a call
// into the Internet library cannot be interrupted), without leaving anything on disk half done.
// The worker announces each stretch of work on disk that must be finished once begun (the
// installation of one folder) and hands its result over through here. Once the main thread
// lets it go, the worker begins no such stretch and stores no result; the stretch under way, if
// any, is waited for.
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "engine/exit_code.h"

namespace mivetrak {

class WorkerRelease {
public:
    // Worker: begins a stretch of disk work; false once the worker has been let go (it must
    // then stop without beginning it).
    bool BeginDiskWork();
    void EndDiskWork();
    // Worker: stores the result into exitCode, unless the worker has been let go.
    void StoreResult(ExitCode& exitCode, ExitCode result);

    // Main thread: lets the worker go, then waits until the stretch of disk work under way, if
    // any, has ended. True when the worker had stored its result before (its exit code is then
    // the run's).
    bool LetGo();

private:
    std::mutex lock_;
    std::condition_variable idle_;
    bool busy_ = false;
    bool letGo_ = false;
    bool stored_ = false;
};

// One stretch of disk work, ended when it goes out of scope.
class DiskWork {
public:
    explicit DiskWork(WorkerRelease& release)
        : release_(release), begun_(release.BeginDiskWork()) {}
    ~DiskWork() {
        if (begun_) release_.EndDiskWork();
    }
    DiskWork(const DiskWork&) = delete;
    DiskWork& operator=(const DiskWork&) = delete;
    bool Begun() const { return begun_; }

private:
    WorkerRelease& release_;
    const bool begun_;
};

}  // namespace mivetrak
