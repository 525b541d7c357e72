// Administrator rights, asked for only when the update needs them: after the check and the
// installation with this run's own rights, for what those did not reach, or first of all for a
// cut-off installation that they cannot put right. The program then starts again through the
// system's consent prompt, and the restarted run does what is left.
#include "app/update_app.h"
#include "app/work_folder.h"
#include "resources/resource_ids.h"

namespace mivetrak {

bool UpdateApp::RepairPending() const {
    for (const TargetFolder& folder : TargetFolderList) {
        if (folder.repairPending) return true;
    }
    return false;
}

void UpdateApp::UpdateWithTheRightsNeeded() {
    // A run without a user cannot answer the consent prompt, and a restarted run has asked once.
    worker.mayAskForRights = !options_.silent && !options_.restarted;
    if (worker.mayAskForRights && RepairPending()) {
        platform.log.Write(
            "An earlier run's installation waits to be put right, which needs "
            "administrator rights.");
        if (RestartWithRights() != Restart::NotStarted) return;
        // Without the restart, this run does what its own rights allow.
        worker.mayAskForRights = false;
    }
    RunUpdate();
    if (!worker.mayAskForRights || worker.foldersNeedingRights.empty()) return;
    if (RestartWithRights() == Restart::NotStarted) {
        platform.ui.ShowMessageBox(nullptr, Text(IDS_INSTALL_FAILED), Text(IDS_CAPTION),
                                   kBoxOkExclamation);
    }
}

UpdateApp::Restart UpdateApp::RestartWithRights() {
    platform.log.Write("The program starts again with administrator rights.");
    SystemError error;
    // Held while the restarted run goes on: it proves to that run that it was started by this
    // one, which asked the user.
    const std::unique_ptr<ProcessLock> handOver =
        platform.system.TryLockNamed(HandOverLockName(platform.system.ProcessId()), error);
    if (!handOver) {
        platform.log.Write("Could not take the hand-over lock (" +
                           DescribeSystemError(platform.system, error.code) +
                           "); the restarted run asks the question again.");
    }
    HandOverWorkFolder();
    uint32_t exitCode = 0;
    const bool started = platform.system.RestartElevated(kAgreedMarker, exitCode, error);
    const bool heldAgain = TakeBackWorkFolder();
    if (started) {
        platform.log.Write("The run with administrator rights ended with exit code " +
                           std::to_string(exitCode) + ".");
        ExitCode = static_cast<mivetrak::ExitCode>(exitCode);
        return Restart::Done;
    }
    const bool refused = error.code == kErrorCancelled;
    platform.log.Write(std::string(refused ? "The user refused administrator rights"
                                           : "Could not start again with administrator rights") +
                       " (" + DescribeSystemError(platform.system, error.code) + ").");
    if (!heldAgain) {
        // Started after all, though the system could not say so (a process it could not wait
        // for): that run goes on in the work folder, and this one does nothing more.
        ExitCode = mivetrak::ExitCode::InstallFailed;
        platform.ui.ShowMessageBox(nullptr, Text(IDS_INSTALL_FAILED), Text(IDS_CAPTION),
                                   kBoxOkExclamation);
        return Restart::Lost;
    }
    if (!refused) return Restart::NotStarted;
    ExitCode = mivetrak::ExitCode::Stopped;
    return Restart::Refused;
}

void UpdateApp::CheckHandOver() {
    if (!options_.restarted) return;
    uint32_t parent = 0;
    if (platform.system.ParentProcessId(parent) &&
        platform.system.NamedLockExists(HandOverLockName(parent))) {
        return;
    }
    options_.restarted = false;
    platform.log.Write(std::string("The command line begins with ") + kAgreedMarker +
                       ", but no run of the program that asked the user waits for this one: the "
                       "marker is ignored, and the question is asked.");
}

void UpdateApp::HandOverWorkFolder() {
    workFolderHold_.reset();
    runLocks_.HandOverWorkFolder();
}

bool UpdateApp::TakeBackWorkFolder() {
    SystemError error;
    if (!runLocks_.TakeBackWorkFolder(error)) {
        platform.log.Write("Another run took the work folder meanwhile; it is left to that run.");
        return false;
    }
    // The restarted run may have cleared and removed it. What is there now is looked at anew
    // before anything of it is touched.
    if (PathExists(platform.files, WorkFolder)) {
        workFolderHold_ = HoldWorkFolder(platform, WorkFolder.substr(0, WorkFolder.size() - 1));
    }
    return true;
}

}  // namespace mivetrak
