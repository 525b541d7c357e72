#include "ui/dialog_listener.h"

namespace mivetrak {

DialogListener::DialogListener(Platform& platform, const std::atomic<WindowHandle>& mainWindow)
    : platform_(platform), mainWindow_(mainWindow) {}

void DialogListener::Progress(ProgressPhase phase, int percent) {
    WindowHandle window = mainWindow_.load();
    if (window == nullptr) return;
    platform_.ui.PostToWindow(window, kProgressMessage, static_cast<uintptr_t>(phase), percent);
}

void DialogListener::Alert(AlertCode code) {
    WindowHandle window = mainWindow_.load();
    if (window == nullptr) return;
    platform_.ui.PostToWindow(window, kAlertMessage, static_cast<uintptr_t>(code), 0);
}

bool DialogListener::RetryFileInUse(const std::string& path) {
    WindowHandle window = mainWindow_.load();
    const bool retry = window != nullptr &&
                       platform_.ui.SendToWindow(window, kAlertMessage,
                                                 static_cast<uintptr_t>(AlertFileBusy), 0) == 1;
    platform_.log.Write(path + " is in use by another program; " +
                        (retry ? "the user chose to try again."
                               : "the user chose not to try again, and the run stops."));
    return retry;
}

}  // namespace mivetrak
