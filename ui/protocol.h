#pragma once
// The messages by which the worker reports to the progress dialog, and the catalogue of string
// ids and box flags of the resource library.
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
};

// String ids of the resource library.
enum StringId : uint32_t {
    StrCaption = 1,
    StrStatusPrefix = 11,
    StrPhaseCheck = 13,
    StrPhaseDownload = 14,
    StrPhaseInstall = 15,
    StrStartupFailed = 1001,
    StrNoConnection = 1002,
    StrServerUnavailable = 1003,
    StrDownloadFailed = 1004,
    StrFileBusy = 1005,
    StrInstallFailed = 1006,
    StrCompleted = 1007,
    StrConfirm = 1008,
    StrUpToDate = 1009,
    StrNoFolder = 1010,
};

// Message box flags.
constexpr uint32_t kBoxOkExclamation = 0x30;
constexpr uint32_t kBoxOkCancelExclamation = 0x31;
constexpr uint32_t kBoxOkInformation = 0x40;
constexpr uint32_t kBoxYesNoInformation = 0x44;

// Resources of the library and the executable.
constexpr int kProgressDialogTemplate = 102;
constexpr int kProgressBarControl = 1000;
constexpr int kStatusTextControl = 1002;
constexpr int kPercentTextControl = 1003;
constexpr uint32_t kAppIconId = 128;

}  // namespace mivetrak
