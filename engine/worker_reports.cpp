#include "engine/worker_reports.h"

namespace mivetrak {

void PostProgress(WorkerContext& app, ProgressPhase phase, int percent) {
    app.listener->Progress(phase, percent);
}

void PostAlert(WorkerContext& app, AlertCode code) { app.listener->Alert(code); }

bool AskRetryFileBusy(WorkerContext& app, const std::string& path) {
    return app.listener->RetryFileInUse(path);
}

}  // namespace mivetrak
