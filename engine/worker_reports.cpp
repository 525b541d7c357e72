#include "engine/worker_reports.h"

namespace mivetrak {

void PostProgress(WorkerContext& app, ProgressPhase phase, int percent) {
    app.listener->Progress(phase, percent);
}

void PostAlert(WorkerContext& app, AlertCode code) { app.listener->Alert(code); }

bool AskRetryFileBusy(WorkerContext& app, const std::string& path) {
    return app.listener->RetryFileInUse(path);
}

void NoteFolderNeedsRights(WorkerContext& app, const std::string& folder, const std::string& why) {
    app.platform.log.Write("The rights of this run do not reach " + folder + ": " + why + ".");
    app.foldersNeedingRights.push_back(folder);
}

ExitCode EndForRights(WorkerContext& app) {
    if (app.mayAskForRights) {
        app.platform.log.Write(
            "Administrator rights are needed for what is left: the run asks for them.");
        PostAlert(app, AlertRightsNeeded);
    } else {
        app.platform.log.Write(
            "Administrator rights are needed for what is left, and this run does not ask for "
            "them.");
        PostAlert(app, AlertInstallFailed);
    }
    return ExitCode::InstallFailed;
}

}  // namespace mivetrak
