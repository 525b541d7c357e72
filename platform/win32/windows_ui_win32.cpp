// Message boxes, window messages and the modal dialog host on user32.
#include "platform/win32/dialog_host.h"
#include "platform/win32/win32_platform.h"

namespace mivetrak {

namespace {

class Win32WindowsUi final : public WindowsUi {
public:
    int ShowMessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                       uint32_t flags) override {
        return MessageBoxA(ToWin32(owner), text.c_str(), caption.c_str(), flags);
    }

    bool PostToWindow(WindowHandle window, uint32_t message, uintptr_t wParam,
                      intptr_t lParam) override {
        return PostMessageA(ToWin32(window), message, wParam, lParam) != 0;
    }

    intptr_t SendToWindow(WindowHandle window, uint32_t message, uintptr_t wParam,
                          intptr_t lParam) override {
        return SendMessageA(ToWin32(window), message, wParam, lParam);
    }

    bool BringToFront(const std::string& caption) override {
        const HWND window = FindWindowA("#32770", caption.c_str());
        if (window == nullptr) return false;
        if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
        SetForegroundWindow(window);
        return true;
    }

    bool RunModalDialog(ModuleHandle module, int templateId, DialogHandler& handler) override {
        // DialogBoxParam gives -1 when the dialog could not be created.
        return RunModalDialogWin32(ToWin32(module), templateId, handler) != -1;
    }
};

}  // namespace

std::unique_ptr<WindowsUi> CreateWin32WindowsUi() { return std::make_unique<Win32WindowsUi>(); }

}  // namespace mivetrak
