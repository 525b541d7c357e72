// The progress dialog's reactions to its window's life and to the worker's two messages.
#include "ui/progress_dialog.h"

#include <cstdio>
#include <utility>

#include "protocol/worker_messages.h"
#include "resources/resource_ids.h"

namespace mivetrak {

namespace {

// x * factor / 100 as a 32-bit program computes it: the product wraps, the division truncates
// toward zero. The worker keeps x within 0..100; nothing here trusts that.
int32_t ScaleWrapping(int32_t x, uint32_t factor) {
    const uint32_t product = static_cast<uint32_t>(x) * factor;
    return static_cast<int32_t>(product) / 100;
}

// The message's phase or code: the low 32 bits of wParam, read as signed, so that a -1 that the
// sender widened to the pointer width is still -1.
int32_t LowSigned(uint64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

struct AlertBox {
    int32_t code;
    uint32_t textId;
    uint32_t flags;
};

constexpr AlertBox kAlertBoxes[] = {
    {AlertNoConnection, IDS_NO_CONNECTION, kBoxOkExclamation},
    {AlertServerUnavailable, IDS_SERVER_UNAVAILABLE, kBoxOkExclamation},
    {AlertUpToDate, IDS_UP_TO_DATE, kBoxOkExclamation},
    {AlertDownloadFailed, IDS_DOWNLOAD_FAILED, kBoxOkExclamation},
    {AlertFileBusy, IDS_FILE_BUSY, kBoxOkCancelExclamation},
    {AlertInstallFailed, IDS_INSTALL_FAILED, kBoxOkExclamation},
};

}  // namespace

bool ProgressBarPosition(int32_t phase, int32_t percent, int32_t& position) {
    switch (phase) {
        case PhaseCheck:
            position = ScaleWrapping(percent, 20);
            return true;
        case PhaseDownload:
            position = ScaleWrapping(percent, 70) + 20;
            return true;
        case PhaseInstall:
            position = ScaleWrapping(percent, 10) + 90;
            return true;
        case PhaseDone:
            position = 100;
            return true;
        default:
            return false;
    }
}

void ProgressBarControl::Bind(DialogWindow& window, int controlId) {
    window_ = &window;
    controlId_ = controlId;
}

void ProgressBarControl::Unbind() {
    window_ = nullptr;
    controlId_ = 0;
}

void ProgressBarControl::SetRange(uint16_t lower, uint16_t upper) {
    if (window_ == nullptr) return;
    const uint32_t range = static_cast<uint32_t>(lower) | (static_cast<uint32_t>(upper) << 16);
    window_->SendToControl(controlId_, kPbmSetRange, 0, static_cast<intptr_t>(range));
}

void ProgressBarControl::SetPos(int32_t position) {
    if (window_ == nullptr) return;
    window_->SendToControl(controlId_, kPbmSetPos,
                           static_cast<uintptr_t>(static_cast<intptr_t>(position)), 0);
}

ProgressDialog::ProgressDialog(System& system, ModuleHandle resourceLibrary, IconHandle appIcon,
                               std::atomic<WindowHandle>& mainWindow, CancelFlag& cancel)
    : system_(system),
      resourceLibrary_(resourceLibrary),
      appIcon_(appIcon),
      mainWindow_(mainWindow),
      cancel_(cancel),
      m_hIcon(system.LoadIconResource(resourceLibrary, IDI_PROGRAM)) {}

ProgressDialog::~ProgressDialog() = default;

void ProgressDialog::SetWindowReadyHook(std::function<void(DialogWindow&)> hook) {
    windowReadyHook_ = std::move(hook);
}

std::string ProgressDialog::Text(uint32_t id) {
    // A text the library lacks shows as nothing.
    std::string text;
    system_.LoadText(resourceLibrary_, id, text);
    return text;
}

bool ProgressDialog::DoDataExchange(DialogWindow& window, bool saveAndValidate) {
    if (!window.HasControl(IDC_PROGRESS_BAR) || !window.HasControl(IDC_STATUS_TEXT) ||
        !window.HasControl(IDC_PERCENT_TEXT)) {
        return false;
    }
    m_progressBar.Bind(window, IDC_PROGRESS_BAR);
    if (saveAndValidate) {
        std::string status;
        std::string percent;
        if (!window.GetControlText(IDC_STATUS_TEXT, status) ||
            !window.GetControlText(IDC_PERCENT_TEXT, percent)) {
            return false;
        }
        m_statusText = std::move(status);
        m_percentText = std::move(percent);
    } else {
        window.SetControlText(IDC_STATUS_TEXT, m_statusText);
        window.SetControlText(IDC_PERCENT_TEXT, m_percentText);
    }
    return true;
}

bool ProgressDialog::UpdateData(DialogWindow& window, bool saveAndValidate) {
    return DoDataExchange(window, saveAndValidate);
}

bool ProgressDialog::OnInitDialog(DialogWindow& window) {
    // A template without the bar or the two text lines cannot show anything: the dialog ends
    // before it is shown, and the update run learns that its window never came up.
    if (!UpdateData(window, false)) {
        window.EndDialog(-1);
        return false;
    }
    window.SetBigIcon(m_hIcon);
    window.SetTitle(Text(IDS_CAPTION));
    window.SetSmallIcon(appIcon_);
    m_progressBar.SetRange(0, 100);

    // From here on the worker may address the window.
    mainWindow_.store(window.Handle());
    if (windowReadyHook_) windowReadyHook_(window);
    return true;
}

bool ProgressDialog::OnApplicationMessage(DialogWindow& window, uint32_t message, uintptr_t wParam,
                                          intptr_t lParam, intptr_t& result) {
    switch (message) {
        case kProgressMessage:
            result = OnProgressMessage(window, wParam, lParam);
            return true;
        case kAlertMessage:
            result = OnAlertMessage(window, wParam, lParam);
            return true;
        default:
            return false;
    }
}

intptr_t ProgressDialog::OnProgressMessage(DialogWindow& window, uintptr_t wParam,
                                           intptr_t lParam) {
    const int32_t phase = LowSigned(wParam);
    int32_t position = 0;
    if (!ProgressBarPosition(phase, LowSigned(static_cast<uint64_t>(lParam)), position)) return 0;

    m_progressBar.SetPos(position);
    if (phase == PhaseDone) {
        // The status phrase of the last phase stays.
        m_percentText = "100%";
        UpdateData(window, false);
        window.ShowOwnedMessageBox(Text(IDS_COMPLETED), Text(IDS_CAPTION), kBoxOkInformation);
        OnOK(window);
        return 0;
    }

    char percent[16];
    std::snprintf(percent, sizeof percent, "%d%%", static_cast<int>(position));
    m_percentText = percent;
    static constexpr uint32_t kPhaseTexts[] = {IDS_PHASE_CHECK, IDS_PHASE_DOWNLOAD,
                                               IDS_PHASE_INSTALL};
    m_statusText = Text(IDS_STATUS_PREFIX) + " " + Text(kPhaseTexts[phase]) + " ...";
    UpdateData(window, false);
    return 0;
}

intptr_t ProgressDialog::OnAlertMessage(DialogWindow& window, uintptr_t wParam, intptr_t) {
    const int32_t code = LowSigned(wParam);
    const std::string caption = Text(IDS_CAPTION);
    for (const AlertBox& box : kAlertBoxes) {
        if (box.code != code) continue;
        const int answer = window.ShowOwnedMessageBox(Text(box.textId), caption, box.flags);
        // The one question: OK lets the worker try again, and the dialog carries on.
        if (code == AlertFileBusy && answer == kIdOk) return 1;
        break;
    }
    OnOK(window);
    return 0;
}

void ProgressDialog::OnCancel(DialogWindow& window) {
    // The flag goes up before the window goes away, so the worker can never find the dialog
    // gone and the flag still down.
    cancel_.Raise();
    window.EndDialog(kIdCancel);
}

void ProgressDialog::OnOK(DialogWindow& window) {
    if (!UpdateData(window, true)) return;
    window.EndDialog(kIdOk);
}

bool ProgressDialog::OnPaint(DialogWindow& window) {
    if (!window.IsMinimized()) return false;
    int width = 0;
    int height = 0;
    int cx = 0;
    int cy = 0;
    window.ClientSize(width, height);
    window.IconMetrics(cx, cy);
    window.PaintIcon((width - cx + 1) / 2, (height - cy + 1) / 2, m_hIcon);
    return true;
}

IconHandle ProgressDialog::OnQueryDragIcon() { return m_hIcon; }

void ProgressDialog::OnDestroy() {
    mainWindow_.store(nullptr);
    m_progressBar.Unbind();
}

}  // namespace mivetrak
