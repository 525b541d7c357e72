#pragma once
// The worker's messages to whoever follows its run (engine/worker_listener.h), and the progress
// dialog as that listener: the dialog's window is read afresh for each message; with no window
// nothing is posted, and the question counts as declined.
#include <atomic>
#include <string>

#include "engine/worker.h"
#include "engine/worker_listener.h"
#include "ui/protocol.h"

namespace mivetrak {

void PostProgress(WorkerContext& app, ProgressPhase phase, int percent);
void PostAlert(WorkerContext& app, AlertCode code);
// Asks whether to try the file at path, which is in use, again, and waits for the answer: true
// for "retry".
bool AskRetryFileBusy(WorkerContext& app, const std::string& path);

class DialogListener final : public WorkerListener {
public:
    // mainWindow is the application's slot for the dialog's window.
    DialogListener(Platform& platform, const std::atomic<WindowHandle>& mainWindow);

    void Progress(ProgressPhase phase, int percent) override;
    void Alert(AlertCode code) override;
    bool RetryFileInUse(const std::string& path) override;
    WindowHandle OwnerWindow() override { return mainWindow_.load(); }
    bool Following() override { return mainWindow_.load() != nullptr; }
    bool UserPresent() override { return true; }

private:
    Platform& platform_;
    const std::atomic<WindowHandle>& mainWindow_;
};

}  // namespace mivetrak
