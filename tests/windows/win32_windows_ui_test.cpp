// The Win32 windows service under Wine in Xvfb: a running dialog found by its caption, restored
// from the task bar and brought to the front, as a second start of the program does.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/win32_platform.h"

namespace mivetrak {
namespace {

TEST(Win32WindowsUi, ADialogFoundByItsCaptionIsRestoredAndBroughtToTheFront) {
    const std::string caption = "Mivetrak Front Test " + std::to_string(GetCurrentProcessId());
    const HWND window =
        CreateWindowExA(0, "#32770", caption.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200,
                        100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(window));
    const auto ui = CreateWin32WindowsUi();
    EXPECT_TRUE(ui->BringToFront(caption));
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(GetForegroundWindow(), window);
    EXPECT_FALSE(ui->BringToFront(caption + " and more"));
    DestroyWindow(window);
    EXPECT_FALSE(ui->BringToFront(caption));
}

}  // namespace
}  // namespace mivetrak
