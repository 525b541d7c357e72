// The worker thread's entry: one session for the run, the check phase, then the download and
// installation.
#include "engine/worker.h"

#include "engine/worker_reports.h"
#include "engine/worker_run.h"
#include "protocol/cancel_flag.h"

namespace mivetrak {

namespace {

WorkerResult RunWorker(WorkerContext& app) {
    if (app.cancel.Raised()) return WorkerResult::Stopped;
    PostProgress(app, PhaseCheck, 0);

    // The session lives until the return below; its destructor is the teardown.
    InternetSession session(app.platform, app.deployment);
    session.SetUserPresent(app.listener->UserPresent());
    WorkerRun run{app, session, {}, {}, {}, false, {}, {}};
    if (const std::optional<WorkerResult> ended = RunCheckPhase(run)) return *ended;
    return RunInstallPhase(run);
}

}  // namespace

WorkerResult UpdateWorker(WorkerContext& app) {
    const WorkerResult result = RunWorker(app);
    if (result == WorkerResult::Stopped && app.cancel.Raised()) {
        app.platform.log.Write("The user cancelled the run.");
    }
    return result;
}

uint32_t WorkerThreadProc(void* app) {
    auto* context = static_cast<WorkerContext*>(app);
    const WorkerResult result = UpdateWorker(*context);
    context->release.StoreResult(context->ExitCode, static_cast<int32_t>(result));
    return 0;
}

}  // namespace mivetrak
