// The progress dialog of the resource library made into a real window (under a private X
// server): the common progress bar class as the dialog host registers it, and the controls the
// progress dialog talks to.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/dialog_host.h"
#include "platform/win32/win32_platform.h"
#include "resources/resource_ids.h"
#include "windows/windows_test_support.h"

// commctrl.h needs the types of <windows.h>.
#include <commctrl.h>

namespace mivetrak {
namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

TEST(Win32DialogTemplateTest, ProgressDialogWindowHasItsControls) {
    RegisterProgressBarClass();
    const auto platform = CreateWin32Platform();
    ASSERT_TRUE(platform);
    SystemError error;
    const ModuleHandle library = platform->Get().system.LoadResourceModule("Mivetrak.rsl", error);
    ASSERT_NE(library, nullptr) << error.code;

    const HWND dialog = CreateDialogParamA(ToWin32(library), MAKEINTRESOURCEA(IDD_PROGRESS),
                                           nullptr, &PlainDialogProc, 0);
    ASSERT_NE(dialog, nullptr) << GetLastError();

    const HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
    ASSERT_NE(bar, nullptr);
    EXPECT_STRCASEEQ(ClassOf(bar).c_str(), "msctls_progress32");
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageA(bar, PBM_SETPOS, 55, 0);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 55);
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 100);

    for (const int id : {IDC_STATUS_TEXT, IDC_PERCENT_TEXT}) {
        const HWND text = GetDlgItem(dialog, id);
        ASSERT_NE(text, nullptr) << id;
        EXPECT_STRCASEEQ(ClassOf(text).c_str(), "Static") << id;
        ASSERT_TRUE(SetDlgItemTextA(dialog, id, "Please wait: 55%"));
        char read[64] = {};
        GetDlgItemTextA(dialog, id, read, sizeof read);
        EXPECT_STREQ(read, "Please wait: 55%");
    }
    const HWND cancel = GetDlgItem(dialog, IDCANCEL);
    ASSERT_NE(cancel, nullptr);
    EXPECT_STRCASEEQ(ClassOf(cancel).c_str(), "Button");

    const LONG_PTR style = GetWindowLongPtrA(dialog, GWL_STYLE);
    EXPECT_NE(style & WS_MINIMIZEBOX, 0);
    EXPECT_NE(style & WS_SYSMENU, 0);
    // The controls lie inside the client area, the bar below the status line.
    RECT client;
    ASSERT_TRUE(GetClientRect(dialog, &client));
    for (const int id : {IDC_PROGRESS_BAR, IDC_STATUS_TEXT, IDC_PERCENT_TEXT, IDCANCEL}) {
        RECT box;
        ASSERT_TRUE(GetWindowRect(GetDlgItem(dialog, id), &box));
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
        EXPECT_GE(box.left, client.left) << id;
        EXPECT_GE(box.top, client.top) << id;
        EXPECT_LE(box.right, client.right) << id;
        EXPECT_LE(box.bottom, client.bottom) << id;
    }
    RECT status;
    RECT barBox;
    GetWindowRect(GetDlgItem(dialog, IDC_STATUS_TEXT), &status);
    GetWindowRect(bar, &barBox);
    EXPECT_LE(status.bottom, barBox.top);

    DestroyWindow(dialog);
    platform->Get().system.FreeModule(library);
}

}  // namespace
}  // namespace mivetrak
