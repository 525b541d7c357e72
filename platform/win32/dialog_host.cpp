// The modal dialog host on user32: runs a template from a module with DialogBoxParamA and hands
// the messages that a DialogHandler deals with to it: its start, the application's own messages,
// Cancel, painting and the drag icon. Everything else is the dialog manager's.
#include "platform/win32/dialog_host.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace mivetrak {

namespace {

class Win32DialogWindow final : public DialogWindow {
public:
    void Attach(HWND window) { window_ = window; }
    void Detach() { window_ = nullptr; }

    WindowHandle Handle() override { return FromWin32(window_); }

    void SetBigIcon(IconHandle icon) override {
        SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ToWin32(icon)));
    }

    void SetSmallIcon(IconHandle icon) override {
        SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(ToWin32(icon)));
    }

    void SetTitle(const std::string& title) override { SetWindowTextA(window_, title.c_str()); }

    intptr_t SendToControl(int controlId, uint32_t message, uintptr_t wParam,
                           intptr_t lParam) override {
        return SendDlgItemMessageA(window_, controlId, message, wParam, lParam);
    }

    bool HasControl(int controlId) override { return GetDlgItem(window_, controlId) != nullptr; }

    void SetControlText(int controlId, const std::string& text) override {
        SetDlgItemTextA(window_, controlId, text.c_str());
    }

    bool GetControlText(int controlId, std::string& text) override {
        HWND control = GetDlgItem(window_, controlId);
        if (control == nullptr) return false;
        const int length = GetWindowTextLengthA(control);
        if (length < 0) return false;
        std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
        const int copied = GetWindowTextA(control, buffer.data(), length + 1);
        text.assign(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
        return true;
    }

    int ShowOwnedMessageBox(const std::string& text, const std::string& caption,
                            uint32_t flags) override {
        return MessageBoxA(window_, text.c_str(), caption.c_str(), flags);
    }

    void EndDialog(int result) override { ::EndDialog(window_, result); }

    bool IsMinimized() override { return IsIconic(window_) != FALSE; }

    void ClientSize(int& width, int& height) override {
        RECT rect{};
        GetClientRect(window_, &rect);
        width = rect.right - rect.left;
        height = rect.bottom - rect.top;
    }

    void IconMetrics(int& cx, int& cy) override {
        cx = GetSystemMetrics(SM_CXICON);
        cy = GetSystemMetrics(SM_CYICON);
    }

    void PaintIcon(int x, int y, IconHandle icon) override {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(window_, &paint);
        if (dc != nullptr) {
            SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
            if (icon != nullptr) DrawIcon(dc, x, y, ToWin32(icon));
        }
        EndPaint(window_, &paint);
        painted_ = true;
    }

    // Whether PaintIcon ran since the last reset: a WM_PAINT that nobody validates comes back.
    void ResetPainted() { painted_ = false; }
    bool Painted() const { return painted_; }

private:
    HWND window_ = nullptr;
    bool painted_ = false;
};

// What the dialog procedure keeps for one modal run; it lives on RunModalDialogWin32's stack.
struct HostState {
    explicit HostState(DialogHandler& h) : handler(h) {}
    DialogHandler& handler;
    Win32DialogWindow window;
};

HostState* StateOf(HWND window) {
    return reinterpret_cast<HostState*>(GetWindowLongPtrA(window, DWLP_USER));
}

// A handled message whose result goes to a sender through DWLP_MSGRESULT.
INT_PTR Answer(HWND window, intptr_t result) {
    SetWindowLongPtrA(window, DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
    return TRUE;
}

INT_PTR OnInit(HWND window, HostState* state) {
    SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
    state->window.Attach(window);
    // TRUE lets the dialog manager put the focus on the first control.
    return state->handler.OnInitDialog(state->window) ? TRUE : FALSE;
}

INT_PTR OnCommand(HostState& state, WPARAM wParam) {
    // IDCANCEL comes from the Cancel button, the Esc key and the window menu's Close. IDOK (the
    // Enter key) is left alone: it must not close the dialog while the worker goes on unseen.
    if (LOWORD(wParam) != IDCANCEL) return FALSE;
    state.handler.OnCancel(state.window);
    return TRUE;
}

INT_PTR OnPaint(HWND window, HostState& state) {
    state.window.ResetPainted();
    if (!state.handler.OnPaint(state.window)) return FALSE;
    if (!state.window.Painted()) ValidateRect(window, nullptr);
    return TRUE;
}

INT_PTR OnDestroy(HWND window, HostState& state) {
    state.handler.OnDestroy();
    state.window.Detach();
    SetWindowLongPtrA(window, DWLP_USER, 0);
    return FALSE;
}

INT_PTR CALLBACK HostDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return OnInit(window, reinterpret_cast<HostState*>(lParam));
    HostState* state = StateOf(window);
    if (state == nullptr) return FALSE;  // before WM_INITDIALOG or after WM_DESTROY

    if (message >= kFirstApplicationMessage && message <= kLastApplicationMessage) {
        intptr_t result = 0;
        if (!state->handler.OnApplicationMessage(state->window, message, wParam, lParam, result)) {
            return FALSE;
        }
        return Answer(window, result);
    }
    switch (message) {
        case WM_COMMAND:
            return OnCommand(*state, wParam);
        case WM_PAINT:
            return OnPaint(window, *state);
        case WM_QUERYDRAGICON:
            // One of the messages whose result a dialog procedure returns directly; 0 lets the
            // dialog manager pick its default.
            return reinterpret_cast<INT_PTR>(ToWin32(state->handler.OnQueryDragIcon()));
        case WM_DESTROY:
            return OnDestroy(window, *state);
        default:
            return FALSE;
    }
}

}  // namespace

void RegisterProgressBarClass() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls{};
        controls.dwSize = sizeof controls;
        controls.dwICC = ICC_PROGRESS_CLASS;
        return InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)registered;
}

int RunModalDialogWin32(HMODULE module, int templateId, DialogHandler& handler) {
    RegisterProgressBarClass();
    HostState state(handler);
    const INT_PTR result = DialogBoxParamA(module, MAKEINTRESOURCEA(templateId), nullptr,
                                           HostDialogProc, reinterpret_cast<LPARAM>(&state));
    return static_cast<int>(result);
}

}  // namespace mivetrak
