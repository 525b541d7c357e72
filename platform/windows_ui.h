#pragma once
// Message boxes, window messages and the modal dialog host.
#include <cstdint>
#include <string>

#include "platform/types.h"

namespace mivetrak {

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Message box flags: the buttons and the icon.
constexpr uint32_t kBoxOkExclamation = 0x30;
constexpr uint32_t kBoxOkCancelExclamation = 0x31;
constexpr uint32_t kBoxOkInformation = 0x40;
constexpr uint32_t kBoxYesNoInformation = 0x44;

// The window of a running modal dialog, as its handler may use it.
class DialogWindow {
public:
    virtual ~DialogWindow() = default;
    virtual WindowHandle Handle() = 0;
    virtual void SetBigIcon(IconHandle icon) = 0;    // WM_SETICON, ICON_BIG
    virtual void SetSmallIcon(IconHandle icon) = 0;  // WM_SETICON, ICON_SMALL
    virtual void SetTitle(const std::string& title) = 0;
    // Sends a message to the child control with the given id; returns its result.
    virtual intptr_t SendToControl(int controlId, uint32_t message, uintptr_t wParam,
                                   intptr_t lParam) = 0;
    virtual bool HasControl(int controlId) = 0;
    virtual void SetControlText(int controlId, const std::string& text) = 0;
    virtual bool GetControlText(int controlId, std::string& text) = 0;
    // A box owned by this window.
    virtual int ShowOwnedMessageBox(const std::string& text, const std::string& caption,
                                    uint32_t flags) = 0;
    virtual void EndDialog(int result) = 0;
    virtual bool IsMinimized() = 0;
    // Paints the icon at (x, y) of the client area after WM_ICONERASEBKGND, within one
    // BeginPaint/EndPaint; the client size and the system's icon size for the formula.
    virtual void ClientSize(int& width, int& height) = 0;
    virtual void IconMetrics(int& cx, int& cy) = 0;
    virtual void PaintIcon(int x, int y, IconHandle icon) = 0;
};

// The range of message numbers that a program may give its own window messages (WM_USER up to
// the last one below WM_APP).
constexpr uint32_t kFirstApplicationMessage = 0x0400;
constexpr uint32_t kLastApplicationMessage = 0x7FFF;

// What a modal dialog does with the messages that the host forwards to it.
class DialogHandler {
public:
    virtual ~DialogHandler() = default;
    virtual bool OnInitDialog(DialogWindow& window) = 0;
    // A message of the application's range, posted or sent to the dialog. True when the handler
    // took it; result is then the answer a sender gets. False leaves it to the dialog manager.
    virtual bool OnApplicationMessage(DialogWindow& window, uint32_t message, uintptr_t wParam,
                                      intptr_t lParam, intptr_t& result) = 0;
    virtual void OnCancel(DialogWindow& window) = 0;
    // True when the handler painted; false lets the default painting run.
    virtual bool OnPaint(DialogWindow& window) = 0;
    virtual IconHandle OnQueryDragIcon() = 0;
    // The window is being destroyed: nothing may be sent to it from now on.
    virtual void OnDestroy() = 0;
};

class WindowsUi {
public:
    virtual ~WindowsUi() = default;
    // MessageBoxA; owner may be null.
    virtual int ShowMessageBox(WindowHandle owner, const std::string& text,
                               const std::string& caption, uint32_t flags) = 0;
    // PostMessageA / SendMessageA to a window.
    virtual bool PostToWindow(WindowHandle window, uint32_t message, uintptr_t wParam,
                              intptr_t lParam) = 0;
    virtual intptr_t SendToWindow(WindowHandle window, uint32_t message, uintptr_t wParam,
                                  intptr_t lParam) = 0;
    // Finds a top-level dialog or box (class "#32770") with this caption, restores it when it
    // is minimised and brings it to the front; false when there is none.
    virtual bool BringToFront(const std::string& caption) = 0;
    // Loads dialog template templateId from the module and runs it modally with no parent until
    // it ends; false when the dialog could not be created.
    virtual bool RunModalDialog(ModuleHandle module, int templateId, DialogHandler& handler) = 0;
};

}  // namespace mivetrak
