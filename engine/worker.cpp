// The worker thread's entry: one session for the run, the check phase, then the download and
// installation.
#include "engine/worker.h"

#include "engine/worker_reports.h"
#include "engine/worker_run.h"
#include "protocol/cancel_flag.h"

namespace mivetrak {

namespace {

ExitCode RunWorker(WorkerContext& app) {
    if (app.cancel.Raised()) return ExitCode::Stopped;
    PostProgress(app, PhaseCheck, 0);

    // The session lives until the return below; its destructor is the teardown.
    InternetSession session(app.platform, app.deployment);
    session.SetUserPresent(app.listener->UserPresent());
    WorkerRun run{app, session, {}, {}, {}, false, {}, {}, std::nullopt};
    ExitCode ended = ExitCode::Done;
    if (!RunCheckPhase(run, ended)) return ended;
    return RunInstallPhase(run);
}

}  // namespace

ExitCode UpdateWorker(WorkerContext& app) {
    const ExitCode result = RunWorker(app);
    if (result == ExitCode::Stopped && app.cancel.Raised()) {
        app.platform.log.Write("The user cancelled the run.");
    }
    return result;
}

uint32_t WorkerThreadProc(void* app) {
    auto* context = static_cast<WorkerContext*>(app);
    context->release.StoreResult(context->ExitCode, UpdateWorker(*context));
    return 0;
}

}  // namespace mivetrak
