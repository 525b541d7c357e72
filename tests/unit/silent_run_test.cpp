// A silent run (/s) does the same job as a run with a user, without a question, a dialog or a
// box, and without bringing another run's window forward; its log says what happened. "/?" shows
// how to use the program and does nothing else.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/run_locks.h"
#include "app/update_app.h"
#include "fakes/fake_platform.h"
#include "unit/app_machine.h"

namespace mivetrak {
namespace {

constexpr char kUsageText[] = "How to use";

struct SilentStartCase {
    const char* name;
    const char* arguments;
    std::function<void(FakePlatform&)> arrange;
    int exitCode;
    bool workerStarts;
    const char* logged;
};

const SilentStartCase kCases[] = {
    // Nothing is scripted on the network: the worker finds no index.
    {"the worker runs without a dialog", "/s D:\\Db", nullptr, 3, true,
     "A silent run asks no question: the update goes ahead."},
    {"written -S", "-S D:\\Db", nullptr, 3, true, "Mivetrak 1.0.1.5 starts in silent mode."},
    {"the resource library is missing", "/s D:\\Db",
     [](FakePlatform& f) { f.system.FailModule(kTestLibrary, 126); }, 1, false,
     "Could not load Mivetrak.rsl from the program's folder: error 126."},
    {"another run is going", "/s D:\\Db",
     [](FakePlatform& f) { f.system.HoldLockElsewhere(kInstanceLockName); }, 1, false,
     "Another run of the program is going (error 183): this run ends."},
    {"no usable folder on the command line", "/s D:\\Nowhere", nullptr, 1, false,
     "The run cannot start: no argument names a folder that can be used."},
    {"no installation folder", "/s D:\\Db",
     [](FakePlatform& f) {
         SystemError e;
         f.files.RemoveFile("D:\\Db\\Tolvar32.bdb", e);
     },
     1, false, "The run cannot start: no installation folder holds the database."},
    {"a folder beyond the user's rights", "/s D:\\Db",
     [](FakePlatform& f) { f.files.DenyWriting("D:\\Db"); }, 4, false,
     "The user's rights do not reach D:\\Db\\: administrator rights are needed to update it, and "
     "a silent run does not ask for them."},
    {"the worker thread cannot be made", "/s D:\\Db",
     [](FakePlatform& f) { f.system.RefuseThreads(); }, 1, false,
     "The worker thread could not be started."},
};

TEST(SilentRun, NoQuestionNoDialogNoBoxAndTheLogSaysWhy) {
    for (const SilentStartCase& c : kCases) {
        SCOPED_TRACE(c.name);
        FakePlatform f;
        ConfigureMachine(f);
        f.files.AddFile("D:\\Db\\Tolvar32.bdb", "db");
        f.system.SetRawCommandLine(std::string("Mivetrak.exe ") + c.arguments);
        if (c.arrange) c.arrange(f);
        UpdateApp app(f.platform, TestDeployment());
        app.InitInstance();
        EXPECT_EQ(app.ExitInstance(), c.exitCode);

        EXPECT_TRUE(f.ui.Boxes().empty());
        EXPECT_TRUE(f.ui.ModalRuns().empty());
        EXPECT_TRUE(f.ui.FrontRequests().empty());
        EXPECT_TRUE(f.ui.Messages().empty());
        EXPECT_TRUE(f.system.Restarts().empty());
        EXPECT_EQ(f.system.ThreadsResumed(), c.workerStarts ? 1 : 0);
        EXPECT_TRUE(f.log.Contains(c.logged)) << c.logged;
        EXPECT_TRUE(f.log.Contains("The run ends with exit code " + std::to_string(c.exitCode)));
        // The log lies in the temporary folder, beside the work folder, of which nothing is left.
        EXPECT_EQ(f.log.FileFolder(), "C:\\Temp\\");
        EXPECT_FALSE(f.files.Exists(kTestWorkFolder));
    }
}

TEST(UsageRun, ShowsHowToUseTheProgramAndDoesNothingElse) {
    for (const char* arguments : {"/?", "-? /s D:\\Db"}) {
        SCOPED_TRACE(arguments);
        FakePlatform f;
        ConfigureMachine(f);
        f.system.SetText(kTestLibrary, IDS_USAGE, kUsageText);
        f.files.AddFile("D:\\Db\\Tolvar32.bdb", "db");
        f.system.SetRawCommandLine(std::string("Mivetrak.exe ") + arguments);
        UpdateApp app(f.platform, TestDeployment());
        app.InitInstance();
        EXPECT_EQ(app.ExitInstance(), 0);
        ASSERT_EQ(f.ui.Boxes().size(), 1u);
        EXPECT_EQ(f.ui.Boxes()[0].text, kUsageText);
        EXPECT_EQ(f.ui.Boxes()[0].caption, "Caption");
        EXPECT_EQ(f.ui.Boxes()[0].flags, kBoxOkInformation);
        EXPECT_EQ(f.ui.Boxes()[0].owner, nullptr);
        EXPECT_TRUE(f.system.LockCalls().empty());
        EXPECT_EQ(f.system.ThreadsCreated(), 0);
        EXPECT_FALSE(f.files.Exists(kTestWorkFolder));
        EXPECT_EQ(f.system.LoadedCount(kTestLibrary), 0);
    }
}

}  // namespace
}  // namespace mivetrak
