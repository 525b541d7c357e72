// The progress dialog against a recording window: bar formula, texts, boxes, closing, Cancel,
// painting and the window's life.
#include "ui/progress_dialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "fakes/fake_system.h"
#include "protocol/cancel_flag.h"
#include "protocol/worker_messages.h"
#include "resources/resource_ids.h"
#include "unit/fake_dialog_window.h"

namespace mivetrak {
namespace {

constexpr char kLibrary[] = "Mivetrak.rsl";

class ProgressDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = system.AddModule(kLibrary);
        libraryIcon = system.AddIcon(kLibrary, IDI_PROGRAM);
        appIcon = system.AddIcon("", IDI_PROGRAM);
        const std::pair<uint32_t, const char*> texts[] = {
            {IDS_CAPTION, "Drive Update"},
            {IDS_STATUS_PREFIX, "Status:"},
            {IDS_PHASE_CHECK, "checking"},
            {IDS_PHASE_DOWNLOAD, "downloading"},
            {IDS_PHASE_INSTALL, "installing"},
            {IDS_NO_CONNECTION, "no connection"},
            {IDS_SERVER_UNAVAILABLE, "server away"},
            {IDS_DOWNLOAD_FAILED, "download failed"},
            {IDS_FILE_BUSY, "file busy"},
            {IDS_INSTALL_FAILED, "install failed"},
            {IDS_COMPLETED, "all done"},
            {IDS_UP_TO_DATE, "up to date"},
        };
        for (const auto& [id, text] : texts) system.SetText(kLibrary, id, text);
    }

    // A dialog whose window has been through OnInitDialog.
    ProgressDialog& Started() {
        dialog = std::make_unique<ProgressDialog>(system, library, appIcon, mainWindow, cancel);
        EXPECT_TRUE(dialog->OnInitDialog(window));
        window.calls.clear();
        window.controlMessages.clear();
        return *dialog;
    }

    FakeSystem system;
    ModuleHandle library = nullptr;
    IconHandle libraryIcon = nullptr;
    IconHandle appIcon = nullptr;
    std::atomic<WindowHandle> mainWindow{nullptr};
    CancelFlag cancel;
    FakeDialogWindow window;
    std::unique_ptr<ProgressDialog> dialog;
};

TEST_F(ProgressDialogTest, LoadsTheLibraryIconWhenBuilt) {
    ProgressDialog built(system, library, appIcon, mainWindow, cancel);
    EXPECT_EQ(built.Icon(), libraryIcon);
    EXPECT_EQ(built.OnQueryDragIcon(), libraryIcon);
    EXPECT_TRUE(built.StatusText().empty());
    EXPECT_TRUE(built.PercentText().empty());
}

TEST_F(ProgressDialogTest, LibraryWithoutIconLeavesTheIconEmpty) {
    ModuleHandle bare = system.AddModule("bare.rsl");
    ProgressDialog built(system, bare, appIcon, mainWindow, cancel);
    EXPECT_EQ(built.Icon(), nullptr);
    ASSERT_TRUE(built.OnInitDialog(window));
    EXPECT_EQ(window.bigIcon, nullptr);
    EXPECT_EQ(window.smallIcon, appIcon);
}

TEST_F(ProgressDialogTest, InitEmptiesTextsSetsIconsTitleAndRangeThenPublishesTheWindow) {
    window.SetText(IDC_STATUS_TEXT, "left over");
    window.SetText(IDC_PERCENT_TEXT, "99%");
    ProgressDialog built(system, library, appIcon, mainWindow, cancel);
    WindowHandle seenByHook = nullptr;
    int hookCalls = 0;
    built.SetWindowReadyHook([&](DialogWindow& w) {
        ++hookCalls;
        seenByHook = mainWindow.load();
        EXPECT_EQ(&w, &window);
    });

    EXPECT_TRUE(built.OnInitDialog(window));

    EXPECT_EQ(window.Text(IDC_STATUS_TEXT), "");
    EXPECT_EQ(window.Text(IDC_PERCENT_TEXT), "");
    EXPECT_EQ(window.bigIcon, libraryIcon);
    EXPECT_EQ(window.smallIcon, appIcon);
    EXPECT_EQ(window.title, std::optional<std::string>("Drive Update"));
    ASSERT_EQ(window.controlMessages.size(), 1u);
    EXPECT_EQ(window.controlMessages[0].controlId, IDC_PROGRESS_BAR);
    EXPECT_EQ(window.controlMessages[0].message, 0x401u);
    EXPECT_EQ(window.controlMessages[0].wParam, 0u);
    EXPECT_EQ(window.controlMessages[0].lParam, 6553600);
    const std::vector<std::string> order = {"SetControlText", "SetControlText", "SetBigIcon",
                                            "SetTitle",       "SetSmallIcon",   "SendToControl"};
    EXPECT_EQ(window.calls, order);
    EXPECT_EQ(mainWindow.load(), window.Handle());
    EXPECT_EQ(hookCalls, 1);
    EXPECT_EQ(seenByHook, window.Handle());
    EXPECT_FALSE(window.Ended());
}

TEST_F(ProgressDialogTest, TemplateWithoutAControlEndsTheDialogBeforeItRuns) {
    for (int missing : {IDC_PROGRESS_BAR, IDC_STATUS_TEXT, IDC_PERCENT_TEXT}) {
        SCOPED_TRACE(missing);
        FakeDialogWindow incomplete;
        incomplete.RemoveControl(missing);
        mainWindow.store(nullptr);
        ProgressDialog built(system, library, appIcon, mainWindow, cancel);
        bool hookCalled = false;
        built.SetWindowReadyHook([&](DialogWindow&) { hookCalled = true; });

        EXPECT_FALSE(built.OnInitDialog(incomplete));

        EXPECT_EQ(incomplete.endResults, std::vector<int>{-1});
        EXPECT_TRUE(incomplete.controlMessages.empty());
        EXPECT_EQ(mainWindow.load(), nullptr);
        EXPECT_FALSE(hookCalled);
    }
}

struct ProgressRow {
    int32_t phase;
    int32_t percent;
    int32_t bar;
    const char* percentText;
    const char* phaseText;
};

TEST_F(ProgressDialogTest, PhasesMoveTheBarAndWriteTheTexts) {
    const ProgressRow rows[] = {
        {0, 50, 10, "10%", "checking"},
        {0, 0, 0, "0%", "checking"},
        {0, 100, 20, "20%", "checking"},
        {0, 99, 19, "19%", "checking"},
        {1, 0, 20, "20%", "downloading"},
        {1, 33, 43, "43%", "downloading"},
        {1, 50, 55, "55%", "downloading"},
        {1, 100, 90, "90%", "downloading"},
        {2, 0, 90, "90%", "installing"},
        {2, 50, 95, "95%", "installing"},
        {2, 100, 100, "100%", "installing"},
        // Not clamped; divisions truncate toward zero; products wrap at 32 bits.
        {0, -1, 0, "0%", "checking"},
        {1, -50, -15, "-15%", "downloading"},
        {2, 250, 115, "115%", "installing"},
        {0, 107374183, -21474836, "-21474836%", "checking"},
    };
    for (const ProgressRow& row : rows) {
        SCOPED_TRACE(::testing::Message() << "phase " << row.phase << " p " << row.percent);
        ProgressDialog& d = Started();

        const intptr_t result = d.OnProgressMessage(window, static_cast<uintptr_t>(row.phase),
                                                    static_cast<intptr_t>(row.percent));

        EXPECT_EQ(result, 0);
        ASSERT_EQ(window.controlMessages.size(), 1u);
        EXPECT_EQ(window.controlMessages[0].controlId, IDC_PROGRESS_BAR);
        EXPECT_EQ(window.controlMessages[0].message, 0x402u);
        EXPECT_EQ(static_cast<int32_t>(window.controlMessages[0].wParam), row.bar);
        EXPECT_EQ(window.Text(IDC_PERCENT_TEXT), row.percentText);
        EXPECT_EQ(window.Text(IDC_STATUS_TEXT), std::string("Status: ") + row.phaseText + " ...");
        EXPECT_TRUE(window.boxes.empty());
        EXPECT_FALSE(window.Ended());
    }
}

TEST_F(ProgressDialogTest, BarPositionFormulaPerPhase) {
    struct Row {
        int32_t phase;
        int32_t percent;
        bool moves;
        int32_t position;
    };
    const Row rows[] = {
        {0, 50, true, 10},  {1, 33, true, 43}, {2, 50, true, 95},  {3, 0, true, 100},
        {3, 77, true, 100}, {4, 50, false, 0}, {-1, 50, false, 0}, {-2147483647 - 1, 0, false, 0},
    };
    for (const Row& row : rows) {
        int32_t position = 0;
        EXPECT_EQ(ProgressBarPosition(row.phase, row.percent, position), row.moves) << row.phase;
        if (row.moves) {
            EXPECT_EQ(position, row.position) << row.phase;
        }
    }
}

TEST_F(ProgressDialogTest, DoneFillsTheBarKeepsThePhraseShowsSuccessAndClosesWithOk) {
    ProgressDialog& d = Started();
    d.OnProgressMessage(window, PhaseDownload, 60);
    const std::string phrase = window.Text(IDC_STATUS_TEXT);
    window.calls.clear();
    window.controlMessages.clear();

    EXPECT_EQ(d.OnProgressMessage(window, PhaseDone, 0), 0);

    ASSERT_EQ(window.controlMessages.size(), 1u);
    EXPECT_EQ(window.controlMessages[0].message, 0x402u);
    EXPECT_EQ(window.controlMessages[0].wParam, 100u);
    EXPECT_EQ(window.Text(IDC_PERCENT_TEXT), "100%");
    EXPECT_EQ(window.Text(IDC_STATUS_TEXT), phrase);
    EXPECT_EQ(phrase, "Status: downloading ...");
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, "all done");
    EXPECT_EQ(window.boxes[0].caption, "Drive Update");
    EXPECT_EQ(window.boxes[0].flags, 0x40u);
    EXPECT_EQ(window.endResults, std::vector<int>{kIdOk});
    // The box is answered before the dialog ends, and the texts are read back on the way out.
    const std::vector<std::string> tail = {"Box", "GetControlText", "GetControlText", "EndDialog"};
    ASSERT_GE(window.calls.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(window.calls.end() - 4, window.calls.end()), tail);
    EXPECT_FALSE(cancel.Raised());
}

TEST_F(ProgressDialogTest, UnknownPhasesChangeNothing) {
    for (uintptr_t phase :
         {uintptr_t{4}, static_cast<uintptr_t>(-1), uintptr_t{0xFFFFFFFFu}, uintptr_t{1000}}) {
        SCOPED_TRACE(phase);
        ProgressDialog& d = Started();
        d.OnProgressMessage(window, PhaseCheck, 50);
        window.calls.clear();
        window.controlMessages.clear();

        EXPECT_EQ(d.OnProgressMessage(window, phase, 50), 0);

        EXPECT_TRUE(window.calls.empty());
        EXPECT_EQ(window.Text(IDC_PERCENT_TEXT), "10%");
        EXPECT_EQ(window.Text(IDC_STATUS_TEXT), "Status: checking ...");
        EXPECT_FALSE(window.Ended());
    }
}

struct AlertRow {
    intptr_t code;
    std::vector<int> answers;
    const char* boxText;  // nullptr: no box
    uint32_t flags;
    intptr_t result;
    bool closes;
};

TEST_F(ProgressDialogTest, AlertsShowTheirBoxAndCloseOrStay) {
    const AlertRow rows[] = {
        {2, {kIdOk}, "no connection", 0x30, 0, true},
        {3, {kIdOk}, "server away", 0x30, 0, true},
        {4, {kIdOk}, "up to date", 0x30, 0, true},
        {5, {kIdOk}, "download failed", 0x30, 0, true},
        {7, {kIdOk}, "install failed", 0x30, 0, true},
        {6, {kIdOk}, "file busy", 0x31, 1, false},
        {6, {kIdCancel}, "file busy", 0x31, 0, true},
        {6, {0}, "file busy", 0x31, 0, true},
        {1, {}, nullptr, 0, 0, true},
        {8, {}, nullptr, 0, 0, true},
        {0, {}, nullptr, 0, 0, true},
        {-1, {}, nullptr, 0, 0, true},
    };
    for (const AlertRow& row : rows) {
        SCOPED_TRACE(::testing::Message() << "code " << row.code);
        ProgressDialog& d = Started();
        window.boxes.clear();
        window.endResults.clear();
        window.ScriptBoxAnswers(row.answers);

        EXPECT_EQ(d.OnAlertMessage(window, static_cast<uintptr_t>(row.code), 0), row.result);

        if (row.boxText == nullptr) {
            EXPECT_TRUE(window.boxes.empty());
        } else {
            ASSERT_EQ(window.boxes.size(), 1u);
            EXPECT_EQ(window.boxes[0].text, row.boxText);
            EXPECT_EQ(window.boxes[0].caption, "Drive Update");
            EXPECT_EQ(window.boxes[0].flags, row.flags);
        }
        EXPECT_EQ(window.endResults, row.closes ? std::vector<int>{kIdOk} : std::vector<int>{});
        EXPECT_FALSE(cancel.Raised());
    }
}

// The host hands over every message of the application's range: the dialog takes the worker's
// two and leaves the others (the dialog manager's own DM_ messages among them) alone.
TEST_F(ProgressDialogTest, TakesOnlyTheWorkersTwoMessages) {
    struct Row {
        uint32_t message;
        uintptr_t wParam;
        bool taken;
        intptr_t result;
        const char* percentText;
        size_t boxes;
    } rows[] = {
        {kProgressMessage, PhaseCheck, true, 0, "10%", 0},
        {kAlertMessage, AlertFileBusy, true, 1, "", 1},  // the question, answered OK
        {kWmUser, 0, false, -7, "", 0},
        {kWmUser + 3, PhaseCheck, false, -7, "", 0},
        {kLastApplicationMessage, AlertFileBusy, false, -7, "", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        ProgressDialog& d = Started();
        window.boxes.clear();
        intptr_t result = -7;
        EXPECT_EQ(d.OnApplicationMessage(window, row.message, row.wParam, 50, result), row.taken);
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(window.Text(IDC_PERCENT_TEXT), row.percentText);
        EXPECT_EQ(window.boxes.size(), row.boxes);
    }
}

TEST_F(ProgressDialogTest, AnsweredRetryKeepsTheDialogTakingMessages) {
    ProgressDialog& d = Started();
    window.ScriptBoxAnswers({kIdOk, kIdOk});
    EXPECT_EQ(d.OnAlertMessage(window, AlertFileBusy, 0), 1);
    EXPECT_EQ(d.OnAlertMessage(window, AlertFileBusy, 0), 1);
    d.OnProgressMessage(window, PhaseInstall, 50);

    EXPECT_EQ(window.Text(IDC_PERCENT_TEXT), "95%");
    EXPECT_EQ(window.Text(IDC_STATUS_TEXT), "Status: installing ...");
    EXPECT_EQ(window.boxes.size(), 2u);
    EXPECT_FALSE(window.Ended());
}

TEST_F(ProgressDialogTest, CancelRaisesTheFlagBeforeTheDialogEnds) {
    ProgressDialog& d = Started();
    d.OnProgressMessage(window, PhaseDownload, 40);
    bool flagAtEnd = false;
    window.onEndDialog = [&](int) { flagAtEnd = cancel.Raised(); };
    ASSERT_FALSE(cancel.Raised());

    d.OnCancel(window);

    EXPECT_TRUE(flagAtEnd);
    EXPECT_EQ(window.endResults, std::vector<int>{kIdCancel});
    EXPECT_TRUE(window.boxes.empty());
}

TEST_F(ProgressDialogTest, ClosingStaysOpenWhenTheTextsCannotBeReadBack) {
    ProgressDialog& d = Started();
    window.FailTextReads();
    d.OnAlertMessage(window, AlertUpToDate, 0);
    EXPECT_EQ(window.boxes.size(), 1u);
    EXPECT_FALSE(window.Ended());
}

TEST_F(ProgressDialogTest, ClosingReadsTheTextsBack) {
    ProgressDialog& d = Started();
    d.OnProgressMessage(window, PhaseCheck, 100);
    window.SetText(IDC_STATUS_TEXT, "typed over");
    d.OnAlertMessage(window, 8, 0);
    EXPECT_EQ(d.StatusText(), "typed over");
    EXPECT_EQ(d.PercentText(), "20%");
}

TEST_F(ProgressDialogTest, MinimisedDialogPaintsItsIconCentred) {
    struct Row {
        int width;
        int height;
        int cx;
        int cy;
        int x;
        int y;
    };
    const Row rows[] = {
        {100, 60, 32, 32, 34, 14},
        {33, 33, 32, 32, 1, 1},
        {160, 0, 48, 16, 56, -7},  // (0 - 16 + 1) / 2 truncates toward zero
        {31, 20, 32, 32, 0, -5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.width << "x" << row.height);
        ProgressDialog& d = Started();
        window.painted.clear();
        window.SetMinimized(true);
        window.SetClientSize(row.width, row.height);
        window.SetIconMetrics(row.cx, row.cy);

        EXPECT_TRUE(d.OnPaint(window));

        ASSERT_EQ(window.painted.size(), 1u);
        EXPECT_EQ(window.painted[0].x, row.x);
        EXPECT_EQ(window.painted[0].y, row.y);
        EXPECT_EQ(window.painted[0].icon, libraryIcon);
    }
}

TEST_F(ProgressDialogTest, NormalWindowLeavesPaintingToTheDefault) {
    ProgressDialog& d = Started();
    window.painted.clear();
    window.SetMinimized(false);
    EXPECT_FALSE(d.OnPaint(window));
    EXPECT_TRUE(window.painted.empty());
}

TEST_F(ProgressDialogTest, DestroyedWindowClearsMainWindowAndUnbindsTheBar) {
    ProgressDialog& d = Started();
    ASSERT_EQ(mainWindow.load(), window.Handle());

    d.OnDestroy();

    EXPECT_EQ(mainWindow.load(), nullptr);
    window.controlMessages.clear();
    d.OnProgressMessage(window, PhaseCheck, 50);
    EXPECT_TRUE(window.controlMessages.empty());
}

}  // namespace
}  // namespace mivetrak
