#pragma once
// The program's one application object: start-up, folder discovery, the work folder, consent,
// the update run and the exit code.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/run_locks.h"
#include "engine/silent_listener.h"
#include "engine/worker.h"
#include "net/deployment.h"
#include "platform/module_owner.h"
#include "platform/platform.h"
#include "ui/dialog_listener.h"
#include "ui/progress_dialog.h"

namespace mivetrak {

// How long the update run waits after a cancel for a worker that may be blocked on the network.
constexpr uint32_t kCancelGraceMilliseconds = 1000;

class UpdateApp {
public:
    UpdateApp(Platform& platform, Deployment deployment);
    virtual ~UpdateApp() = default;
    UpdateApp(const UpdateApp&) = delete;
    UpdateApp& operator=(const UpdateApp&) = delete;

    // Start-up, then the update run when the user agrees. Always false: no message loop follows;
    // the caller runs ExitInstance next.
    bool InitInstance();
    // Frees the resource library, clears and removes the work folder and gives the exit code.
    mivetrak::ExitCode ExitInstance();

    // The update run (dialog beside the worker); returns when both have ended, or when the
    // user has cancelled and the worker, blocked on the network, was left behind
    // (WorkerLeftRunning).
    void RunUpdate();
    // Makes the worker thread, suspended; false when there is one already or none can be made.
    bool StartWorker();

    Platform& platform;
    // Where the update comes from and how the program names itself there.
    const Deployment deployment;

    // Fields handed to the worker before it starts.
    uint32_t DownloadLength = 0;
    mivetrak::ExitCode ExitCode = mivetrak::ExitCode::Done;
    ModuleOwner ResourceLibraryHandle{platform.system};
    std::vector<TargetFolder> TargetFolderList;
    std::string WorkFolder;
    bool ForceUpdate = false;

    // Raised by the progress dialog's Cancel, polled by the worker. It outlives a worker left
    // running: the process ends before the application object goes.
    CancelFlag cancelFlag;
    // The progress dialog's window while it exists; read by the worker before every message.
    std::atomic<WindowHandle> MainWindow{nullptr};
    // The executable's own program icon.
    IconHandle AppIcon = nullptr;
    // The worker thread, from StartWorker until the update run's wait has returned.
    std::unique_ptr<Thread> WorkerThreadHandle;
    // The worker was still running when the update run returned: it still uses this object and
    // the platform, so the process must end before either is destroyed (System::EndProcess).
    bool WorkerLeftRunning = false;

    // Who follows the worker's run: the progress dialog, or nobody in a silent run.
    DialogListener dialogListener{platform, MainWindow};
    SilentListener silentListener{platform};

    // What the worker sees of this object (engine/worker.h).
    WorkerContext worker{platform, TargetFolderList, WorkFolder, DownloadLength,
                         ExitCode, &dialogListener,  deployment, cancelFlag};

private:
    // The steps of InitInstance, in their order. Each that can fail returns false.
    // Reads the options and writes the log's first line; the log's file begins here too.
    void StartLog();
    // Everything before the question: the library, the run locks, the repair of a cut-off
    // installation, the folders and the work folder. False, with the exit code set, when the run
    // ends here.
    bool PrepareRun();
    // The folders from the command line and discovery, and the work folder.
    bool CollectFolders();
    bool LoadResourceLibrary();  // shows its own box
    void ShowUsage();
    // False when another run holds the locks; its window is then brought to the front.
    bool TakeRunLocks();
    // Puts back in order the folders that a cut-off run left unfinished; only under the run
    // locks, so that it never meets another run's installation under way
    // (engine/install_recovery.h).
    void RepairInterruptedInstallation();
    bool ReadCommandLine();
    bool DiscoverFolders();
    void DropFoldersWithoutDatabase();
    // Makes the work folder if need be and holds it, once it is known to be a folder of this
    // account's own and no link.
    bool PrepareWorkFolder();
    bool UserAgrees();
    // The update itself, after the user's Yes: a cut-off installation that this run's rights
    // cannot put right goes to a run with administrator rights first; so does, after the update
    // run, whatever else needed the update and was beyond these rights.
    void UpdateWithTheRightsNeeded();
    // Whether a folder waits for an installation to be put right that this run could not.
    bool RepairPending() const;

    // How a restart with administrator rights went. Lost: the system said it did not start, but
    // a run took the work folder meanwhile, which this run then leaves alone.
    enum class Restart { Done, Refused, NotStarted, Lost };
    // Starts the program again with administrator rights, hands it the work folder and waits
    // for it; this run then has its exit code, or 2 when the user refused the consent prompt,
    // or 4 (with the box of a failed installation) when the restart was lost.
    Restart RestartWithRights();
    // The marker that skips the question counts only when the run that asked for consent is
    // waiting for this very process: it holds the lock named after its own process id, and it
    // is this process's parent. Otherwise the marker is ignored, and the question is asked.
    void CheckHandOver();
    // The work folder's lock and hold, to the restarted run and back again.
    void HandOverWorkFolder();
    // False when another run holds the work folder now.
    bool TakeBackWorkFolder();
    // The temporary folder's path, with its final backslash; false when the system names none
    // that fits kMaxPath. Both the log and the work folder lie in it.
    bool TempFolderPath(std::string& path);
    // The work folder's path, without its final backslash; false when the temporary folder
    // cannot be told.
    bool WorkFolderPath(std::string& path);

    // After the dialog: waits for the worker, or, after a cancel, at most a short while.
    void WaitForWorker();
    // The run's progress dialog beside the worker; false when the dialog never came up.
    bool RunDialog(ProgressDialog& dialog);
    // The box and the exit code of a run whose worker or dialog could not be started.
    void ReportNoStart();

    // The update run of a silent run: the worker alone, without a dialog.
    void RunSilently();

    // The start-up failure: the log says why (reason, a sentence part), the box shows the
    // library's text unless the run is silent; exit code 1. Always false.
    bool FailStartUp(uint32_t textId, const std::string& reason);
    std::string Text(uint32_t id);

    RunLocks runLocks_{platform.system};
    RunOptions options_;
    // The work folder, held while this run may use it.
    std::unique_ptr<HeldFolder> workFolderHold_;
};

}  // namespace mivetrak
