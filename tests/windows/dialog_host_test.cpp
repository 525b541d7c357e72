// The modal dialog host on real user32 (under a private X server), with the progress dialog of
// the built resource library and a scripted handler: which messages reach the handler, what a
// sender of the worker's question gets back, and how the run ends.
#include "platform/win32/dialog_host.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "protocol/worker_messages.h"
#include "resources/resource_ids.h"
#include "windows/windows_test_support.h"

// commctrl.h needs the types of <windows.h>.
#include <commctrl.h>

namespace mivetrak {
namespace {

// An id that no resource of the library bears.
constexpr int kNoSuchId = 4242;

// Records what reaches it; takes every application message, and answers the worker's two
// through onProgress and onAlert.
class ScriptedHandler : public DialogHandler {
public:
    std::function<bool(DialogWindow&)> onInit;
    std::function<intptr_t(DialogWindow&, uintptr_t, intptr_t)> onProgress;
    std::function<intptr_t(DialogWindow&, uintptr_t, intptr_t)> onAlert;
    std::function<void(DialogWindow&)> onCancel;
    IconHandle dragIcon = nullptr;
    std::vector<std::string> calls;

    bool OnInitDialog(DialogWindow& window) override {
        calls.push_back("init");
        return onInit ? onInit(window) : true;
    }
    bool OnApplicationMessage(DialogWindow& window, uint32_t message, uintptr_t wParam,
                              intptr_t lParam, intptr_t& result) override {
        if (message == kProgressMessage) {
            calls.push_back("progress " + std::to_string(wParam) + " " + std::to_string(lParam));
            result = onProgress ? onProgress(window, wParam, lParam) : 0;
        } else if (message == kAlertMessage) {
            calls.push_back("alert " + std::to_string(wParam));
            result = onAlert ? onAlert(window, wParam, lParam) : 0;
        } else {
            calls.push_back("message WM_USER+" + std::to_string(message - WM_USER));
            result = 0;
        }
        return true;
    }
    void OnCancel(DialogWindow& window) override {
        calls.push_back("cancel");
        if (onCancel) onCancel(window);
    }
    bool OnPaint(DialogWindow&) override { return false; }
    IconHandle OnQueryDragIcon() override { return dragIcon; }
    void OnDestroy() override { calls.push_back("destroy"); }
};

class DialogHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        // As the program loads it: an image of resources, none of its code mapped to run.
        library = LoadLibraryExA((test::BinFolder() + "Mivetrak.rsl").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(library, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (library != nullptr) FreeLibrary(library);
    }
    int Run(ScriptedHandler& handler, int templateId = IDD_PROGRESS) {
        return RunModalDialogWin32(library, templateId, handler);
    }

    HMODULE library = nullptr;
};

TEST_F(DialogHostTest, WindowServesTheHandlerAndPostedMessagesReachIt) {
    ScriptedHandler handler;
    HWND hwnd = nullptr;
    handler.dragIcon = reinterpret_cast<IconHandle>(LoadIconA(nullptr, IDI_APPLICATION));
    handler.onInit = [&](DialogWindow& window) {
        hwnd = reinterpret_cast<HWND>(window.Handle());
        EXPECT_TRUE(IsWindow(hwnd));
        for (int id : {IDC_PROGRESS_BAR, IDC_STATUS_TEXT, IDC_PERCENT_TEXT}) {
            EXPECT_TRUE(window.HasControl(id)) << id;
        }
        EXPECT_FALSE(window.HasControl(kNoSuchId));

        window.SetControlText(IDC_STATUS_TEXT, "Status: checking ...");
        std::string text;
        EXPECT_TRUE(window.GetControlText(IDC_STATUS_TEXT, text));
        EXPECT_EQ(text, "Status: checking ...");
        EXPECT_FALSE(window.GetControlText(kNoSuchId, text));

        window.SetTitle("Drive Update");
        char title[64] = {};
        GetWindowTextA(hwnd, title, sizeof title);
        EXPECT_STREQ(title, "Drive Update");

        window.SendToControl(IDC_PROGRESS_BAR, PBM_SETRANGE, 0, 6553600);
        window.SendToControl(IDC_PROGRESS_BAR, PBM_SETPOS, 42, 0);
        EXPECT_EQ(window.SendToControl(IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0), 42);
        EXPECT_EQ(window.SendToControl(IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE, 0), 100);

        // Every message of the application's range reaches the handler; one beyond it does not.
        PostMessageA(hwnd, kProgressMessage, PhaseDownload, 50);
        PostMessageA(hwnd, WM_USER + 7, 0, 0);
        PostMessageA(hwnd, WM_APP, 0, 0);
        PostMessageA(hwnd, kAlertMessage, AlertUpToDate, 0);
        return true;
    };
    handler.onProgress = [&](DialogWindow&, uintptr_t, intptr_t) {
        EXPECT_EQ(SendMessageA(hwnd, WM_QUERYDRAGICON, 0, 0),
                  reinterpret_cast<LRESULT>(handler.dragIcon));
        return 0;
    };
    handler.onAlert = [](DialogWindow& window, uintptr_t, intptr_t) {
        window.EndDialog(7);
        return 0;
    };

    EXPECT_EQ(Run(handler), 7);

    const std::vector<std::string> expected = {"init", "progress 1 50", "message WM_USER+7",
                                               "alert 4", "destroy"};
    EXPECT_EQ(handler.calls, expected);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(DialogHostTest, SentQuestionGetsTheHandlersResultAndNothingOnceTheWindowIsGone) {
    ScriptedHandler handler;
    HWND hwnd = nullptr;
    std::thread worker;
    LRESULT first = -1;
    LRESULT second = -1;
    int asked = 0;
    handler.onInit = [&](DialogWindow& window) {
        hwnd = reinterpret_cast<HWND>(window.Handle());
        worker = std::thread([&first, &second, hwnd] {
            first = SendMessageA(hwnd, kAlertMessage, AlertFileBusy, 0);
            second = SendMessageA(hwnd, kAlertMessage, AlertFileBusy, 0);
            PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
        });
        return true;
    };
    handler.onAlert = [&](DialogWindow&, uintptr_t, intptr_t) { return ++asked == 1 ? 1 : 0; };
    handler.onCancel = [](DialogWindow& window) { window.EndDialog(kIdCancel); };

    const int result = Run(handler);
    worker.join();

    EXPECT_EQ(result, kIdCancel);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    const std::vector<std::string> expected = {"init", "alert 6", "alert 6", "cancel", "destroy"};
    EXPECT_EQ(handler.calls, expected);
    // A question sent after the dialog has closed yields 0 at once.
    EXPECT_EQ(SendMessageA(hwnd, kAlertMessage, AlertFileBusy, 0), 0);
}

TEST_F(DialogHostTest, CloseCommandIsCancel) {
    ScriptedHandler handler;
    handler.onInit = [](DialogWindow& window) {
        PostMessageA(reinterpret_cast<HWND>(window.Handle()), WM_CLOSE, 0, 0);
        return true;
    };
    handler.onCancel = [](DialogWindow& window) { window.EndDialog(kIdCancel); };

    EXPECT_EQ(Run(handler), kIdCancel);

    const std::vector<std::string> expected = {"init", "cancel", "destroy"};
    EXPECT_EQ(handler.calls, expected);
}

TEST_F(DialogHostTest, EnterKeyCommandDoesNotCloseTheDialog) {
    ScriptedHandler handler;
    handler.onInit = [](DialogWindow& window) {
        const HWND hwnd = reinterpret_cast<HWND>(window.Handle());
        PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
        PostMessageA(hwnd, kAlertMessage, 9, 0);
        return true;
    };
    handler.onAlert = [](DialogWindow& window, uintptr_t, intptr_t) {
        window.EndDialog(kIdOk);
        return 0;
    };

    EXPECT_EQ(Run(handler), kIdOk);

    const std::vector<std::string> expected = {"init", "alert 9", "destroy"};
    EXPECT_EQ(handler.calls, expected);
}

TEST_F(DialogHostTest, DialogEndedDuringInitIsNeverRun) {
    ScriptedHandler handler;
    handler.onInit = [](DialogWindow& window) {
        window.EndDialog(-1);
        return false;
    };

    EXPECT_EQ(Run(handler), -1);

    const std::vector<std::string> expected = {"init", "destroy"};
    EXPECT_EQ(handler.calls, expected);
}

TEST_F(DialogHostTest, MissingTemplateGivesMinusOneWithoutCallingTheHandler) {
    ScriptedHandler handler;
    EXPECT_EQ(Run(handler, kNoSuchId), -1);
    EXPECT_TRUE(handler.calls.empty());
}

}  // namespace
}  // namespace mivetrak
