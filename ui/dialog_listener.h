#pragma once
// The progress dialog as the listener of the worker's run: each report becomes a message to the
// dialog's window, which is read afresh for each one; with no window nothing is posted, and the
// question counts as declined.
#include <atomic>
#include <string>

#include "platform/platform.h"
#include "protocol/worker_listener.h"

namespace mivetrak {

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
