// The update run: the progress dialog on the main thread beside the worker thread.
#include <string>
#include <utility>

#include "app/update_app.h"
#include "engine/worker.h"
#include "resources/resource_ids.h"
#include "ui/progress_dialog.h"

namespace mivetrak {

namespace {

// The caption of the box for a run that cannot start: the application's title, which is the
// executable's file name without its extension. The resource library's caption is not used for
// this box.
std::string ApplicationTitle(System& system, const CodePage& codePage) {
    std::string name;
    system.ExecutablePath(name);
    const size_t slash = FindLastCharMb(codePage, name, '\\');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const size_t dot = FindLastCharMb(codePage, name, '.');
    if (dot != std::string::npos) name.erase(dot);
    return name.empty() ? std::string("Mivetrak") : name;
}

}  // namespace

bool UpdateApp::StartWorker() {
    if (WorkerThreadHandle) return false;
    // Created suspended: the update run resumes it once the dialog's window exists, so that the
    // worker's first messages find a window to go to.
    std::unique_ptr<Thread> thread =
        platform.system.CreateSuspendedThread(WorkerThreadProc, &worker);
    if (!thread) return false;
    WorkerThreadHandle = std::move(thread);
    return true;
}

void UpdateApp::RunSilently() {
    const bool started = StartWorker() && WorkerThreadHandle->Resume();
    if (!started) {
        platform.log.Write("The worker thread could not be started.");
        ExitCode = mivetrak::ExitCode::StartFailed;
        return;
    }
    // Nothing asks the worker to stop early: the wait lasts until it has ended, each of its
    // network waits being bounded.
    WaitForWorker();
}

void UpdateApp::ReportNoStart() {
    platform.log.Write("The worker thread or the progress dialog could not be started.");
    platform.ui.ShowMessageBox(nullptr, Text(IDS_STARTUP_FAILED),
                               ApplicationTitle(platform.system, platform.codePage),
                               kBoxOkExclamation);
    ExitCode = mivetrak::ExitCode::StartFailed;
}

bool UpdateApp::RunDialog(ProgressDialog& dialog) {
    // The dialog sets MainWindow to its window and then calls this, before it is shown.
    bool workerRunning = false;
    dialog.SetWindowReadyHook([this, &workerRunning](DialogWindow& window) {
        workerRunning = WorkerThreadHandle->Resume();
        // Without a worker the dialog would wait for messages that never come.
        if (!workerRunning) window.EndDialog(-1);
    });
    // Whether the dialog could be made or not: the hook tells whether it came up.
    platform.ui.RunModalDialog(ResourceLibraryHandle.Get(), IDD_PROGRESS, dialog);
    // The window is gone, whichever way the dialog ended.
    MainWindow.store(nullptr);
    return workerRunning;
}

void UpdateApp::RunUpdate() {
    if (options_.silent) {
        RunSilently();
        return;
    }
    ProgressDialog dialog(platform.system, ResourceLibraryHandle.Get(), AppIcon, MainWindow,
                          cancelFlag);
    if (!StartWorker()) {
        MainWindow.store(nullptr);
        ReportNoStart();
        return;
    }
    bool workerRunning = RunDialog(dialog);
    // The dialog never came up (it could not be created, its template lacks a control, or the
    // worker could not be resumed): the update does not run behind the user's back. The worker
    // is let go with the cancel flag raised, so it ends at its first poll without doing anything.
    const bool dialogFailed = !workerRunning;
    if (dialogFailed) {
        cancelFlag.Raise();
        workerRunning = WorkerThreadHandle->Resume();
    }
    // Only now may the main thread block: the worker's question to the dialog is answered by the
    // dialog's own message loop, which has ended. A thread that never ran is not waited for; it
    // stays suspended until the process ends. The handle is kept, so no second worker starts.
    if (workerRunning) WaitForWorker();
    if (dialogFailed) ReportNoStart();
}

void UpdateApp::WaitForWorker() {
    // After its final message the worker only closes its handles, each wait of which is bounded.
    if (!cancelFlag.Raised()) {
        WorkerThreadHandle->WaitUntilEnded();
        return;
    }
    // The user asked to stop: the worker sees that at its next look, unless it is blocked on
    // the network, which nothing but the end of the process interrupts.
    if (WorkerThreadHandle->WaitForEnd(kCancelGraceMilliseconds)) return;
    // A folder under way is finished or put back first; then the worker starts nothing more.
    if (!worker.release.LetGo()) ExitCode = mivetrak::ExitCode::Stopped;
    if (WorkerThreadHandle->WaitForEnd(0)) return;
    WorkerLeftRunning = true;
    platform.log.Write("The worker did not stop within " +
                       std::to_string(kCancelGraceMilliseconds) +
                       " ms of the cancel; the run ends without it.");
}

}  // namespace mivetrak
