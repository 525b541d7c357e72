#include "engine/dialog_messages.h"

namespace mivetrak {

void PostProgress(WorkerContext& app, ProgressPhase phase, int percent) {
    WindowHandle window = app.MainWindow.load();
    if (window == nullptr) return;
    app.platform.ui.PostToWindow(window, kProgressMessage, static_cast<uintptr_t>(phase), percent);
}

void PostAlert(WorkerContext& app, AlertCode code) {
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

}  // namespace mivetrak
