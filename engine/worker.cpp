// The worker thread's entry, its messages to the dialog and the database download's callback.
#include "engine/worker.h"

#include "engine/cancel_flag.h"
#include "engine/worker_run.h"
#include "ui/protocol.h"

namespace mivetrak {

void PostProgress(WorkerContext& app, int phase, int percent) {
    WindowHandle window = app.MainWindow.load();
    if (window == nullptr) return;
    app.platform.ui.PostToWindow(window, kProgressMessage, static_cast<uintptr_t>(phase), percent);
}

void PostAlert(WorkerContext& app, int code) {
    WindowHandle window = app.MainWindow.load();
    if (window == nullptr) return;
    app.platform.ui.PostToWindow(window, kAlertMessage, static_cast<uintptr_t>(code), 0);
}

bool AskRetryFileBusy(WorkerContext& app) {
    WindowHandle window = app.MainWindow.load();
    if (window == nullptr) return false;
    return app.platform.ui.SendToWindow(window, kAlertMessage,
                                        static_cast<uintptr_t>(AlertFileBusy), 0) == 1;
}

WorkerResult UpdateWorker(WorkerContext& app) {
    if (CancelRequested()) return WorkerResult::Stopped;
    PostProgress(app, PhaseCheck, 0);

    // The session lives until the return below; its destructor is the teardown.
    InternetSession session(app.platform, app.deployment);
    WorkerRun run{app, session, {}, {}, {}, false, {}};
    if (const std::optional<WorkerResult> ended = RunCheckPhase(run)) return *ended;
    return RunInstallPhase(run);
}

uint32_t WorkerThreadProc(void* app) {
    auto* context = static_cast<WorkerContext*>(app);
    context->ExitCode = static_cast<int32_t>(UpdateWorker(*context));
    return 0;
}

int DownloadProgressCallback(void* userData, const TransferProgress* progress) {
    auto& app = *static_cast<WorkerContext*>(userData);
    const uint32_t received = progress->totalBytes;
    const uint32_t expected = app.DownloadLength;
    // 64-bit so that a database past 42 MB does not wrap the product.
    const int32_t percent =
        received >= expected
            ? 100
            : static_cast<int32_t>(static_cast<uint64_t>(received) * 100u / expected);

    // More bytes than the server announced: whatever this is, it is not the database.
    if (received > expected) return 0;
    if (CancelRequested()) return 0;
    if (app.MainWindow.load() == nullptr) return 0;

    // A fast link calls back far more often than the bar can move; posting only a new percentage
    // keeps the dialog's message queue short enough for the final alert to find room.
    if (percent != app.LastPostedPercent) {
        app.LastPostedPercent = percent;
        PostProgress(app, PhaseDownload, percent);
    }
    return 1;
}

int IndexProgressCallback(void*, const TransferProgress* progress) {
    return progress->totalBytes > kMaxIndexBytes ? 0 : 1;
}

}  // namespace mivetrak
