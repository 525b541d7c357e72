// The update run: the order in which the dialog's window, the worker thread, the modal loop and
// the wait meet, and the runs that cannot start.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/update_app.h"
#include "engine/worker.h"
#include "fakes/fake_platform.h"
#include "protocol/cancel_flag.h"
#include "protocol/worker_messages.h"
#include "resources/resource_ids.h"
#include "unit/dialog_loop.h"
#include "unit/fake_dialog_window.h"

namespace mivetrak {
namespace {

constexpr char kLibrary[] = "Mivetrak.rsl";
const WindowHandle kDialogWindow = reinterpret_cast<WindowHandle>(0x7700);

// What happened, in order, on either thread.
class EventLog {
public:
    void Add(const std::string& event) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
    }
    std::vector<std::string> Events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    // Position of the first event with this text; -1 when it did not happen.
    int IndexOf(const std::string& event) const {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find(events_.begin(), events_.end(), event);
        return it == events_.end() ? -1 : static_cast<int>(it - events_.begin());
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

// A FakeSystem whose threads log their resume and wait, can refuse to resume, and may run a
// stand-in body instead of the entry they were made with (which is recorded).
class RecordingSystem : public FakeSystem {
public:
    explicit RecordingSystem(EventLog& log) : log_(log) {}

    std::function<void()> workerBody;  // runs instead of the entry when set
    bool failResume = false;
    std::atomic<WindowHandle>* mainWindow = nullptr;  // logged at resume
    ThreadEntry entry = nullptr;
    void* argument = nullptr;

    std::unique_ptr<Thread> CreateSuspendedThread(ThreadEntry e, void* a) override {
        log_.Add("create");
        entry = e;
        argument = a;
        std::unique_ptr<Thread> inner = workerBody
                                            ? FakeSystem::CreateSuspendedThread(&RunBody, this)
                                            : FakeSystem::CreateSuspendedThread(e, a);
        if (!inner) return nullptr;
        return std::make_unique<RecordingThread>(*this, std::move(inner));
    }

private:
    class RecordingThread : public Thread {
    public:
        RecordingThread(RecordingSystem& owner, std::unique_ptr<Thread> inner)
            : owner_(owner), inner_(std::move(inner)) {}
        bool Resume() override {
            const bool published =
                owner_.mainWindow != nullptr && owner_.mainWindow->load() == kDialogWindow;
            owner_.log_.Add(published ? "resume with window" : "resume without window");
            if (owner_.failResume) return false;
            return inner_->Resume();
        }
        void WaitUntilEnded() override {
            owner_.log_.Add("wait");
            inner_->WaitUntilEnded();
            owner_.log_.Add("waited");
        }
        bool WaitForEnd(uint32_t milliseconds) override {
            owner_.log_.Add("wait up to " + std::to_string(milliseconds) + " ms");
            const bool ended = inner_->WaitForEnd(milliseconds);
            owner_.log_.Add(ended ? "waited" : "stopped waiting");
            return ended;
        }

    private:
        RecordingSystem& owner_;
        std::unique_ptr<Thread> inner_;
    };

    static uint32_t RunBody(void* self) {
        static_cast<RecordingSystem*>(self)->workerBody();
        return 0;
    }

    EventLog& log_;
};

class UpdateRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = system.AddModule(kLibrary);
        system.SetText(kLibrary, IDS_CAPTION, "Drive Update");
        system.SetText(kLibrary, IDS_STARTUP_FAILED, "could not start");
        system.SetText(kLibrary, IDS_DOWNLOAD_FAILED, "download failed");
        system.SetText(kLibrary, IDS_COMPLETED, "all done");
        system.mainWindow = &app.MainWindow;
        app.ResourceLibraryHandle.Reset(library);
        app.AppIcon = system.AddIcon("", IDI_PROGRAM);
        fakes.ui.onPost = [this](const FakeWindowsUi::Message& m) { queue.Push(m); };
    }

    // A modal loop: creates the window (OnInitDialog), then hands the worker's posted messages
    // to the handler until the dialog ends; then the window is destroyed. afterInit runs once the
    // window is up, inside the loop.
    void ScriptModalLoop(std::function<void(DialogHandler&, FakeDialogWindow&)> afterInit = {}) {
        fakes.ui.modalScript = [this, afterInit](DialogHandler& handler) {
            log.Add("modal begins");
            FakeDialogWindow window(kDialogWindow);
            if (removeControl != 0) window.RemoveControl(removeControl);
            handler.OnInitDialog(window);
            log.Add("window up");
            mainWindowDuringRun = app.MainWindow.load();
            if (afterInit && !window.Ended()) afterInit(handler, window);
            while (!window.Ended()) {
                FakeWindowsUi::Message m{};
                if (!queue.Pop(m)) {
                    ADD_FAILURE() << "the dialog waited in vain for the worker";
                    handler.OnCancel(window);
                    break;
                }
                EXPECT_EQ(m.window, kDialogWindow);
                intptr_t result = 0;
                EXPECT_TRUE(
                    handler.OnApplicationMessage(window, m.message, m.wParam, m.lParam, result));
            }
            dialogBoxes = window.boxes;
            handler.OnDestroy();
            mainWindowAfterDestroy = app.MainWindow.load();
            log.Add("modal ends");
            return window.endResults.front();
        };
    }

    // What a worker does with the dialog: it addresses MainWindow afresh for every message.
    void Post(uint32_t message, int32_t wParam, int32_t lParam) {
        WindowHandle window = app.MainWindow.load();
        if (window != nullptr) {
            fakes.ui.PostToWindow(window, message, static_cast<uintptr_t>(wParam), lParam);
        }
    }

    EventLog log;
    RecordingSystem system{log};
    FakePlatform fakes;
    Platform platform{fakes.files, fakes.registry, fakes.internet, system,
                      fakes.ui,    fakes.codePage, fakes.log,      fakes.crypto};
    UpdateApp app{platform, TestDeployment()};
    ModuleHandle library = nullptr;
    MessageQueue queue;
    int removeControl = 0;
    WindowHandle mainWindowDuringRun = nullptr;
    WindowHandle mainWindowAfterDestroy = reinterpret_cast<WindowHandle>(1);
    std::vector<FakeDialogWindow::Box> dialogBoxes;
};

TEST_F(UpdateRunTest, WorkerStartsOnceTheWindowExistsAndIsWaitedForAfterTheDialog) {
    system.workerBody = [this] {
        log.Add("worker runs");
        Post(kProgressMessage, PhaseCheck, 0);
        Post(kProgressMessage, PhaseDownload, 50);
        Post(kAlertMessage, AlertDownloadFailed, 0);
        // Still busy when the dialog has gone: the run must wait for this.
        while (log.IndexOf("modal ends") < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        app.ExitCode = ExitCode::NotObtained;
        log.Add("worker ends");
    };
    ScriptModalLoop();

    app.RunUpdate();

    // The worker's own first step races with the rest of OnInitDialog; everything else is fixed.
    std::vector<std::string> events = log.Events();
    const auto runs = std::find(events.begin(), events.end(), "worker runs");
    ASSERT_NE(runs, events.end());
    EXPECT_GT(runs - events.begin(), log.IndexOf("resume with window"));
    events.erase(runs);
    const std::vector<std::string> expected = {"create",      "modal begins", "resume with window",
                                               "window up",   "modal ends",   "wait",
                                               "worker ends", "waited"};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(app.ExitCode, ExitCode::NotObtained);
    EXPECT_EQ(mainWindowDuringRun, kDialogWindow);
    EXPECT_EQ(mainWindowAfterDestroy, nullptr);
    EXPECT_EQ(app.MainWindow.load(), nullptr);
    // Not one of the worker's messages was lost: the first went to the window too.
    const auto messages = fakes.ui.Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].wParam, static_cast<uintptr_t>(PhaseCheck));
    ASSERT_EQ(dialogBoxes.size(), 1u);
    EXPECT_EQ(dialogBoxes[0].text, "download failed");
    EXPECT_TRUE(fakes.ui.Boxes().empty());
    ASSERT_EQ(fakes.ui.ModalRuns().size(), 1u);
    EXPECT_EQ(fakes.ui.ModalRuns()[0].module, library);
    EXPECT_EQ(fakes.ui.ModalRuns()[0].templateId, IDD_PROGRESS);
}

TEST_F(UpdateRunTest, WorkerThreadRunsTheWorkerEntryOnTheApplication) {
    system.workerBody = [this] { Post(kProgressMessage, PhaseDone, 0); };
    ScriptModalLoop();

    app.RunUpdate();

    EXPECT_EQ(system.entry, &WorkerThreadProc);
    EXPECT_EQ(system.argument, static_cast<void*>(&app.worker));
    ASSERT_EQ(dialogBoxes.size(), 1u);
    EXPECT_EQ(dialogBoxes[0].text, "all done");
    EXPECT_EQ(app.ExitCode, ExitCode::Done);
}

TEST_F(UpdateRunTest, CancelEndsTheDialogAndTheRunWaitsForTheWorkerToNotice) {
    system.workerBody = [this] {
        Post(kProgressMessage, PhaseDownload, 10);
        while (!app.cancelFlag.Raised()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        log.Add("worker saw the flag");
        app.ExitCode = ExitCode::Stopped;
    };
    ScriptModalLoop(
        [](DialogHandler& handler, FakeDialogWindow& window) { handler.OnCancel(window); });

    app.RunUpdate();

    EXPECT_EQ(app.ExitCode, ExitCode::Stopped);
    // The worker may see the flag before or after the modal loop has ended; either way the run
    // waits for it.
    EXPECT_LT(log.IndexOf("modal ends"), log.IndexOf("waited"));
    EXPECT_LT(log.IndexOf("worker saw the flag"), log.IndexOf("waited"));
    EXPECT_TRUE(dialogBoxes.empty());
}

// Stands in for a call into the network that nothing but the end of the process interrupts.
class Blocked {
public:
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        released_.wait(lock, [this] { return open_; });
    }
    void Release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_ = true;
        }
        released_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool open_ = false;
};

// The user cancels while the worker waits on a silent server: the run stops waiting after the
// grace period and ends with 2 (the exit's clean-up then empties the work folder), and the
// worker, when it comes back, can neither begin work on disk nor set the exit code.
TEST_F(UpdateRunTest, CancelWhileTheWorkerIsBlockedOnTheNetworkEndsTheRunWithoutIt) {
    Blocked network;
    bool beganDiskWork = true;
    system.workerBody = [&] {
        Post(kProgressMessage, PhaseDownload, 10);
        network.Wait();
        beganDiskWork = app.worker.release.BeginDiskWork();
        app.worker.release.StoreResult(app.ExitCode, ExitCode::Done);
    };
    ScriptModalLoop(
        [](DialogHandler& handler, FakeDialogWindow& window) { handler.OnCancel(window); });

    const auto start = std::chrono::steady_clock::now();
    app.RunUpdate();
    const auto waited = std::chrono::steady_clock::now() - start;

    EXPECT_GE(waited, std::chrono::milliseconds(kCancelGraceMilliseconds));
    EXPECT_LT(waited, std::chrono::milliseconds(kCancelGraceMilliseconds + 1000));
    EXPECT_TRUE(app.WorkerLeftRunning);
    EXPECT_EQ(app.ExitCode, ExitCode::Stopped);
    EXPECT_TRUE(fakes.log.Contains("the run ends without it"));

    network.Release();
    app.WorkerThreadHandle->WaitUntilEnded();
    EXPECT_FALSE(beganDiskWork);
    EXPECT_EQ(app.ExitCode, ExitCode::Stopped);
}

// A cancel while a folder is being installed: the run waits for that folder, however long it
// takes, and lets the worker go only then.
TEST_F(UpdateRunTest, CancelDuringAFolderWaitsUntilTheFolderIsDone) {
    Blocked afterwards;
    bool beganAnother = true;
    system.workerBody = [&] {
        Post(kProgressMessage, PhaseInstall, 0);
        {
            DiskWork folder(app.worker.release);
            ASSERT_TRUE(folder.Begun());
            while (!app.cancelFlag.Raised())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(kCancelGraceMilliseconds + 300));
            log.Add("folder done");
        }
        beganAnother = app.worker.release.BeginDiskWork();
        afterwards.Wait();
    };
    ScriptModalLoop(
        [](DialogHandler& handler, FakeDialogWindow& window) { handler.OnCancel(window); });

    app.RunUpdate();
    log.Add("run over");

    EXPECT_LT(log.IndexOf("folder done"), log.IndexOf("run over"));
    EXPECT_TRUE(app.WorkerLeftRunning);
    EXPECT_EQ(app.ExitCode, ExitCode::Stopped);
    afterwards.Release();
    app.WorkerThreadHandle->WaitUntilEnded();
    EXPECT_FALSE(beganAnother);
}

// A worker that ends within the grace period keeps its own result.
TEST_F(UpdateRunTest, AWorkerThatEndsSoonAfterTheCancelIsWaitedFor) {
    system.workerBody = [this] {
        while (!app.cancelFlag.Raised()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        app.worker.release.StoreResult(app.ExitCode, ExitCode::Stopped);
    };
    ScriptModalLoop(
        [](DialogHandler& handler, FakeDialogWindow& window) { handler.OnCancel(window); });
    app.RunUpdate();
    EXPECT_FALSE(app.WorkerLeftRunning);
    EXPECT_EQ(app.ExitCode, ExitCode::Stopped);
    EXPECT_EQ(log.IndexOf("stopped waiting"), -1);
    app.WorkFolder.clear();
    app.ExitInstance();
}

TEST_F(UpdateRunTest, WorkerThatCannotBeCreatedGivesTheStartUpBoxAndNoDialog) {
    system.RefuseThreads();
    ScriptModalLoop();

    app.RunUpdate();

    EXPECT_EQ(app.ExitCode, ExitCode::StartFailed);
    EXPECT_TRUE(fakes.ui.ModalRuns().empty());
    EXPECT_EQ(app.MainWindow.load(), nullptr);
    const auto boxes = fakes.ui.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].text, "could not start");
    EXPECT_EQ(boxes[0].caption, "Mivetrak");
    EXPECT_EQ(boxes[0].flags, 0x30u);
}

TEST_F(UpdateRunTest, StartUpBoxIsCaptionedWithTheExecutablesOwnName) {
    const struct {
        const char* path;
        const char* caption;
    } cases[] = {{"C:\\Tools\\Updater.v2.exe", "Updater.v2"},
                 {"C:\\Tools.d\\Updater", "Updater"},
                 {"", "Mivetrak"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        FakePlatform local;
        local.system.RefuseThreads();
        local.system.SetExecutablePath(c.path);
        UpdateApp other(local.platform, TestDeployment());
        other.RunUpdate();
        const auto boxes = local.ui.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, c.caption);
    }
}

TEST_F(UpdateRunTest, SecondWorkerIsRefused) {
    EXPECT_TRUE(app.StartWorker());
    EXPECT_FALSE(app.StartWorker());
    EXPECT_EQ(system.ThreadsCreated(), 1);
    EXPECT_EQ(system.ThreadsResumed(), 0);
}

TEST_F(UpdateRunTest, RunAfterARunStartsNoSecondWorker) {
    system.workerBody = [this] { Post(kProgressMessage, PhaseDone, 0); };
    ScriptModalLoop();
    app.RunUpdate();
    ASSERT_EQ(app.ExitCode, ExitCode::Done);

    app.RunUpdate();

    EXPECT_EQ(system.ThreadsCreated(), 1);
    EXPECT_EQ(app.ExitCode, ExitCode::StartFailed);
    EXPECT_EQ(fakes.ui.ModalRuns().size(), 1u);
}

// The dialog never comes up: the worker, made with the real entry, is let go with the cancel flag
// raised and ends at its first poll without touching the network; the run reports a start-up
// failure.
struct DialogFailureRow {
    const char* name;
    bool scriptLoop;    // false: RunModalDialog answers -1 without creating anything
    int removeControl;  // a control the template lacks
};

TEST_F(UpdateRunTest, DialogThatNeverComesUpStopsTheWorkerAndReportsAStartUpFailure) {
    const DialogFailureRow rows[] = {
        {"dialog not created", false, 0},
        {"template without the bar", true, IDC_PROGRESS_BAR},
        {"template without the percentage", true, IDC_PERCENT_TEXT},
    };
    for (const DialogFailureRow& row : rows) {
        SCOPED_TRACE(row.name);
        EventLog rowLog;
        RecordingSystem rowSystem{rowLog};
        FakePlatform rowFakes;
        Platform rowPlatform{rowFakes.files, rowFakes.registry, rowFakes.internet, rowSystem,
                             rowFakes.ui,    rowFakes.codePage, rowFakes.log,      rowFakes.crypto};
        {
            UpdateApp runApp{rowPlatform, TestDeployment()};
            runApp.ResourceLibraryHandle.Reset(rowSystem.AddModule(kLibrary));
            rowSystem.SetText(kLibrary, IDS_STARTUP_FAILED, "could not start");
            rowSystem.mainWindow = &runApp.MainWindow;
            if (row.scriptLoop) {
                rowFakes.ui.modalScript = [&](DialogHandler& handler) {
                    FakeDialogWindow window(kDialogWindow);
                    window.RemoveControl(row.removeControl);
                    handler.OnInitDialog(window);
                    handler.OnDestroy();
                    rowLog.Add("modal ends");
                    return window.endResults.empty() ? 0 : window.endResults.front();
                };
            } else {
                rowFakes.ui.modalResult = -1;
            }

            runApp.RunUpdate();

            EXPECT_EQ(runApp.ExitCode, ExitCode::StartFailed);
            EXPECT_EQ(runApp.MainWindow.load(), nullptr);
            EXPECT_TRUE(runApp.cancelFlag.Raised());
            EXPECT_EQ(rowSystem.entry, &WorkerThreadProc);
            EXPECT_EQ(rowSystem.ThreadsResumed(), 1);
            // The worker ran to its end before the run returned, and did nothing.
            EXPECT_EQ(rowSystem.LastThreadResult(), std::optional<uint32_t>(0u));
            EXPECT_TRUE(rowFakes.internet.Calls().empty());
            EXPECT_TRUE(rowFakes.ui.Messages().empty());
            const auto events = rowLog.Events();
            ASSERT_FALSE(events.empty());
            EXPECT_EQ(events.back(), "waited");
            EXPECT_EQ(rowLog.IndexOf("resume with window"), -1);
            const auto boxes = rowFakes.ui.Boxes();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].owner, nullptr);
            EXPECT_EQ(boxes[0].text, "could not start");
            EXPECT_EQ(boxes[0].caption, "Mivetrak");
            EXPECT_EQ(boxes[0].flags, 0x30u);
        }
    }
}

TEST_F(UpdateRunTest, WorkerThatCannotBeResumedEndsTheDialogAndIsNotWaitedFor) {
    system.failResume = true;
    system.workerBody = [this] { log.Add("worker runs"); };
    ScriptModalLoop();

    app.RunUpdate();

    EXPECT_EQ(app.ExitCode, ExitCode::StartFailed);
    EXPECT_EQ(log.IndexOf("worker runs"), -1);
    EXPECT_EQ(log.IndexOf("wait"), -1);
    EXPECT_EQ(app.MainWindow.load(), nullptr);
    EXPECT_TRUE(dialogBoxes.empty());
    const auto boxes = fakes.ui.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "could not start");
    EXPECT_EQ(boxes[0].caption, "Mivetrak");
}

}  // namespace
}  // namespace mivetrak
