#pragma once
// The messages by which the worker reports to the progress dialog: their numbers, the phases of
// the progress message and the codes of the alert message.
#include <cstdint>

namespace mivetrak {

constexpr uint32_t kWmUser = 0x0400;
constexpr uint32_t kProgressMessage = kWmUser + 1;  // posted; wParam phase, lParam percent
constexpr uint32_t kAlertMessage = kWmUser + 2;     // posted, or sent for AlertFileBusy

enum ProgressPhase : int { PhaseCheck = 0, PhaseDownload = 1, PhaseInstall = 2, PhaseDone = 3 };

enum AlertCode : int {
    AlertNoConnection = 2,
    AlertServerUnavailable = 3,
    AlertUpToDate = 4,
    AlertDownloadFailed = 5,
    AlertFileBusy = 6,  // sent; the answer 1 means retry
    AlertInstallFailed = 7,
    // The run needs administrator rights to go on: the dialog closes without a box, and the
    // program starts again with them.
    AlertRightsNeeded = 8,
};

}  // namespace mivetrak
