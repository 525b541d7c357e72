#pragma once
// The progress dialog: a bar and two text lines that follow the worker's messages, the boxes that
// report its failures and its success, its one question, and Cancel.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/system.h"
#include "platform/windows_ui.h"
#include "protocol/cancel_flag.h"

namespace mivetrak {

// Messages of the progress-bar common control. They share their numbers with the worker's two
// messages but go to the bar's window, never to the dialog.
constexpr uint32_t kPbmSetRange = 0x0401;
constexpr uint32_t kPbmSetPos = 0x0402;

// The bar control, reached through the dialog's window once data exchange has bound it.
class ProgressBarControl {
public:
    void Bind(DialogWindow& window, int controlId);
    void Unbind();
    bool IsBound() const { return window_ != nullptr; }
    // PBM_SETRANGE: wParam 0, lParam with the minimum in its low and the maximum in its high word.
    void SetRange(uint16_t lower, uint16_t upper);
    void SetPos(int32_t position);

private:
    DialogWindow* window_ = nullptr;
    int controlId_ = 0;
};

class ProgressDialog : public DialogHandler {
public:
    // Loads the dialog's icon (the program icon of the resource library) at once: the object exists
    // before its window does. mainWindow is the application's slot for the dialog's window;
    // Cancel raises cancel.
    ProgressDialog(System& system, ModuleHandle resourceLibrary, IconHandle appIcon,
                   std::atomic<WindowHandle>& mainWindow, CancelFlag& cancel);
    ~ProgressDialog() override;
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;

    // Called at the end of OnInitDialog, once mainWindow names the new window: the update run
    // starts its worker from here, so that no message of the worker can precede the window.
    void SetWindowReadyHook(std::function<void(DialogWindow&)> hook);

    bool OnInitDialog(DialogWindow& window) override;
    // Takes the worker's two messages and hands them to the two functions below.
    bool OnApplicationMessage(DialogWindow& window, uint32_t message, uintptr_t wParam,
                              intptr_t lParam, intptr_t& result) override;
    intptr_t OnProgressMessage(DialogWindow& window, uintptr_t wParam, intptr_t lParam);
    intptr_t OnAlertMessage(DialogWindow& window, uintptr_t wParam, intptr_t lParam);
    void OnCancel(DialogWindow& window) override;
    bool OnPaint(DialogWindow& window) override;
    IconHandle OnQueryDragIcon() override;
    void OnDestroy() override;

    // The texts as the dialog last set or read them.
    const std::string& StatusText() const { return m_statusText; }
    const std::string& PercentText() const { return m_percentText; }
    IconHandle Icon() const { return m_hIcon; }

private:
    // Binds the bar and writes the two texts into their controls (towards the window), or reads
    // the texts back (saveAndValidate). False when a control is missing.
    bool DoDataExchange(DialogWindow& window, bool saveAndValidate);
    bool UpdateData(DialogWindow& window, bool saveAndValidate);
    // Closing after a box: the texts are read back, then the dialog ends with IDOK.
    void OnOK(DialogWindow& window);
    std::string Text(uint32_t id);

    System& system_;
    ModuleHandle resourceLibrary_;
    IconHandle appIcon_;
    std::atomic<WindowHandle>& mainWindow_;
    CancelFlag& cancel_;
    std::function<void(DialogWindow&)> windowReadyHook_;

    ProgressBarControl m_progressBar;
    std::string m_statusText;
    std::string m_percentText;
    IconHandle m_hIcon = nullptr;
};

// The bar position for a phase and its percentage, with the 32-bit arithmetic of the protocol
// (products wrap, divisions truncate toward zero). False for a phase that moves nothing.
bool ProgressBarPosition(int32_t phase, int32_t percent, int32_t& position);

}  // namespace mivetrak
