#pragma once
// The worker thread: checks which folders need the update, downloads the database once and
// installs it with backup and rollback. It reports only to its listener (engine/worker_listener.h).
#include <cstdint>
#include <string>
#include <vector>

#include "engine/exit_code.h"
#include "engine/target_folder.h"
#include "engine/worker_release.h"
#include "net/deployment.h"
#include "net/transfer.h"
#include "platform/platform.h"
#include "protocol/cancel_flag.h"
#include "protocol/worker_listener.h"

namespace mivetrak {

// The application's fields that the worker uses, handed over before the worker starts.
struct WorkerContext {
    Platform& platform;
    std::vector<TargetFolder>& TargetFolderList;
    const std::string& WorkFolder;
    uint32_t& DownloadLength;
    mivetrak::ExitCode& ExitCode;
    // Whoever follows the run: the progress dialog, or nobody in a silent run. Set before the
    // worker starts.
    WorkerListener* listener;
    const Deployment& deployment;
    // Raised when whoever follows the run asks it to stop; polled between the steps.
    CancelFlag& cancel;
    // Whether the run may start the program again with administrator rights for what the
    // account's rights do not reach (a run with a user, not itself restarted); set before the
    // worker starts.
    bool mayAskForRights = false;
    // The folders that needed the update and that the account's rights did not reach, for the
    // update run to read once the worker has ended.
    std::vector<std::string> foldersNeedingRights{};
    // The download percentage last posted to the dialog; the callback posts only a new one.
    int32_t lastPostedPercent = 0;
    // How the update run may stop waiting for the worker; the result goes through it.
    WorkerRelease release{};
};

// What a run of the worker comes to: Done, Stopped, NotObtained or InstallFailed.
ExitCode UpdateWorker(WorkerContext& app);

// The thread's entry; argument: the WorkerContext. Stores UpdateWorker's result in ExitCode,
// unless the update run has let the worker go.
uint32_t WorkerThreadProc(void* app);

// The database download's progress callback; user data: the WorkerContext.
int DownloadProgressCallback(void* userData, const TransferProgress* progress);

}  // namespace mivetrak
