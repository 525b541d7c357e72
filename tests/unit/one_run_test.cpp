// One run at a time: a second start brings the running one's window to the front and ends with
// exit code 1 before it touches anything; a run restarted with rights is no second start, and a
// run that merely claims to be one does not get into the work folder of another.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/run_locks.h"
#include "app/update_app.h"
#include "fakes/fake_platform.h"
#include "unit/app_machine.h"

namespace mivetrak {
namespace {

struct StartCase {
    const char* name;
    bool marker;
    bool starterWaits;  // the run that restarted this one holds its hand-over lock
    bool instanceHeldElsewhere;
    bool workFolderHeldElsewhere;
    bool runs;  // this start goes on to the question (or, with the marker, past it)
};

// The marker counts only for the child of a run that waits for it; typed by hand, it is
// ignored: the run is an ordinary start, which asks its question.
const StartCase kStarts[] = {
    {"nothing else runs", false, false, false, false, true},
    {"a second start", false, false, true, false, false},
    {"a second start while a restarted run works", false, false, true, true, false},
    {"a start while a run whose starter ended works", false, false, false, true, false},
    {"the restarted run while its starter waits", true, true, true, false, true},
    {"a typed restart while a run works", true, false, true, true, false},
    {"a typed restart while nothing runs", true, false, false, false, true},
};

TEST(OneRun, ASecondStartBringsTheRunningWindowForwardAndTouchesNothing) {
    for (const StartCase& c : kStarts) {
        FakePlatform f;
        ConfigureMachine(f);
        f.files.AddFile("D:\\Db\\Tolvar32.bdb", "db");
        f.system.SetRawCommandLine(std::string("Mivetrak.exe ") +
                                   (c.marker ? std::string(kAgreedMarker) + " " : "") + "D:\\Db");
        f.system.HoldLockElsewhere(kInstanceLockName, c.instanceHeldElsewhere);
        f.system.SetParentProcessId(77);
        f.system.HoldLockElsewhere(HandOverLockName(77), c.starterWaits);
        f.system.HoldLockElsewhere(kWorkFolderLockName, c.workFolderHeldElsewhere);
        f.system.RefuseThreads();
        UpdateApp app(f.platform, TestDeployment());
        app.InitInstance();
        const ExitCode exitCode = app.ExitInstance();

        const std::vector<std::string> front = f.ui.FrontRequests();
        if (c.runs) {
            EXPECT_TRUE(front.empty()) << c.name;
            EXPECT_FALSE(f.ui.Boxes().empty()) << c.name;
            EXPECT_NE(exitCode, ExitCode::Done)
                << c.name;  // answered No, or the update could not start
        } else {
            EXPECT_EQ(front, std::vector<std::string>{"Caption"}) << c.name;
            EXPECT_TRUE(f.ui.Boxes().empty()) << c.name;
            EXPECT_EQ(exitCode, ExitCode::StartFailed) << c.name;
            // Nothing was looked for and the work folder was never reached (the temporary
            // folder is asked for the log's sake).
            for (const std::string& call : f.files.Calls()) {
                EXPECT_EQ(call.find("orzavtmp"), std::string::npos) << c.name << ": " << call;
                EXPECT_EQ(call.find("D:\\Db"), std::string::npos) << c.name << ": " << call;
            }
        }
        // A restarted run never asks for the instance lock its starter holds, nor the question.
        const std::vector<std::string> locks = f.system.LockCalls();
        const bool askedForInstance =
            std::find(locks.begin(), locks.end(), std::string("Lock ") + kInstanceLockName) !=
            locks.end();
        const bool restarted = c.marker && c.starterWaits;
        EXPECT_EQ(askedForInstance, !restarted) << c.name;
        if (c.runs) {
            EXPECT_EQ(f.ui.Boxes().front().text == "Update now?", !restarted) << c.name;
        }
        EXPECT_FALSE(f.system.LockHeld(kInstanceLockName)) << c.name;
        EXPECT_FALSE(f.system.LockHeld(kWorkFolderLockName)) << c.name;
    }
}

TEST(OneRun, BothLocksAreHeldFromBeforeTheWorkFolderIsMadeUntilItIsGone) {
    FakePlatform f;
    ConfigureMachine(f);
    f.files.AddFile("D:\\Db\\Tolvar32.bdb", "db");
    f.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
    bool heldAtQuestion = false;
    UpdateApp app(f.platform, TestDeployment());
    app.InitInstance();
    heldAtQuestion = f.system.LockHeld(kInstanceLockName) && f.system.LockHeld(kWorkFolderLockName);
    EXPECT_TRUE(heldAtQuestion);
    EXPECT_EQ(app.ExitInstance(), ExitCode::Stopped);
    EXPECT_FALSE(f.files.Exists(kTestWorkFolder));
    EXPECT_FALSE(f.system.LockHeld(kInstanceLockName));
    EXPECT_FALSE(f.system.LockHeld(kWorkFolderLockName));
    const std::vector<std::string> locks = f.system.LockCalls();
    EXPECT_EQ(locks.back(), std::string("Unlock ") + kInstanceLockName);
}

TEST(OneRun, ALockThatCannotBeMadeCountsAsTaken) {
    FakePlatform f;
    ConfigureMachine(f);
    f.files.AddFile("D:\\Db\\Tolvar32.bdb", "db");
    f.system.SetRawCommandLine("Mivetrak.exe D:\\Db");
    f.system.FailLock(kInstanceLockName, kErrorAccessDenied);
    UpdateApp app(f.platform, TestDeployment());
    app.InitInstance();
    EXPECT_EQ(app.ExitInstance(), ExitCode::StartFailed);
    EXPECT_TRUE(f.ui.Boxes().empty());
    EXPECT_TRUE(f.log.Contains("Another run of the program is going (error 5)"));
}

}  // namespace
}  // namespace mivetrak
