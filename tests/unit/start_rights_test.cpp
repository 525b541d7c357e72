// After the user's Yes: a target folder that the user's rights do not reach makes the program
// run again with administrator rights (once, never in a loop), and everything else lets this
// run do the update.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/run_locks.h"
#include "app/update_app.h"
#include "fakes/fake_platform.h"
#include "protocol/cancel_flag.h"
#include "unit/app_machine.h"

namespace mivetrak {
namespace {

const char kFolder[] = "D:\\Db";
const char kProbeFile[] = "D:\\Db\\Mivetrak write test.tmp";

enum class Outcome {
    UpdateHere,  // the update runs in this run
    Ended,       // this run ends with the exit code given, without an update of its own
};

struct RightsCase {
    const char* name;
    bool restarted;  // started with the marker
    std::function<void(FakePlatform&)> arrange;
    bool restartAsked;
    Outcome outcome;
    int exitCode;  // for Outcome::Ended
};

void Denied(FakePlatform& f) { f.files.DenyWriting(kFolder); }

// A machine with one installation folder named on the command line (after the marker of a
// restarted run, if it is one), where the user says Yes.
void Prepare(FakePlatform& f, bool restarted) {
    ConfigureMachine(f);
    f.files.AddFile(std::string(kFolder) + "\\Tolvar32.bdb", "db");
    f.system.SetRawCommandLine(std::string("Mivetrak.exe ") +
                               (restarted ? std::string(kAgreedMarker) + " " : "") + kFolder);
    f.ui.defaultBoxAnswer = kIdYes;
}

const RightsCase kCases[] = {
    {"every folder writable", false, nullptr, false, Outcome::UpdateHere, 0},
    {"a folder denied: the run with rights decides the exit code", false,
     [](FakePlatform& f) {
         Denied(f);
         f.system.ScriptRestart(true, 4);
     },
     true, Outcome::Ended, 4},
    {"a folder denied: the run with rights succeeds", false,
     [](FakePlatform& f) {
         Denied(f);
         f.system.ScriptRestart(true, 0);
     },
     true, Outcome::Ended, 0},
    {"a folder denied: the user refuses the consent prompt", false,
     [](FakePlatform& f) {
         Denied(f);
         f.system.ScriptRestart(false, 0, kErrorCancelled);
     },
     true, Outcome::Ended, 2},
    {"a folder denied: the restart cannot start", false,
     [](FakePlatform& f) {
         Denied(f);
         f.system.ScriptRestart(false, 0, kErrorFileNotFound);
     },
     true, Outcome::UpdateHere, 0},
    {"a folder denied in the restarted run: no second restart", true, Denied, false,
     Outcome::UpdateHere, 0},
    {"a folder busy otherwise is no matter of rights", false,
     [](FakePlatform& f) {
         f.files.AddFile(kProbeFile, "");
         f.files.SetLocked(kProbeFile);
     },
     false, Outcome::UpdateHere, 0},
    // Forced, as a folder that holds such a directory holds no database.
    {"a folder named like the database is no matter of rights", false,
     [](FakePlatform& f) {
         f.system.SetRawCommandLine(std::string("Mivetrak.exe ") + kFolder + " f");
         SystemError error;
         f.files.RemoveFile(std::string(kFolder) + "\\Tolvar32.bdb", error);
         f.files.AddDirectory(std::string(kFolder) + "\\Tolvar32.bdb");
     },
     false, Outcome::UpdateHere, 0},
    {"a leftover probe file is replaced", false,
     [](FakePlatform& f) { f.files.AddFile(kProbeFile, "left over"); }, false, Outcome::UpdateHere,
     0},
};

TEST(StartRights, AFolderBeyondTheUsersRightsRestartsWithRightsOnce) {
    for (const RightsCase& c : kCases) {
        FakePlatform f;
        Prepare(f, c.restarted);
        // The update run is not followed further than its start.
        f.system.RefuseThreads();
        if (c.arrange) c.arrange(f);

        UpdateApp app(f.platform, TestDeployment());
        app.InitInstance();
        const ExitCode exitCode = app.ExitInstance();

        const std::vector<std::string> restarts = f.system.Restarts();
        EXPECT_EQ(restarts.size(), c.restartAsked ? 1u : 0u) << c.name;
        if (!restarts.empty()) {
            EXPECT_EQ(restarts[0], kAgreedMarker) << c.name;
        }
        // The run that refuses to start reports it: the update got that far.
        const auto boxes = f.ui.Boxes();
        const bool updateStarted = !boxes.empty() && boxes.back().text == "Start-up failed";
        EXPECT_EQ(updateStarted, c.outcome == Outcome::UpdateHere) << c.name;
        if (c.outcome == Outcome::Ended) {
            EXPECT_EQ(static_cast<int>(exitCode), c.exitCode) << c.name;
        }
        // The restarted run does not ask again.
        const bool asked = !boxes.empty() && boxes.front().text == "Update now?";
        EXPECT_EQ(asked, !c.restarted) << c.name;
        // The probe leaves nothing behind.
        EXPECT_FALSE(f.files.Exists(kProbeFile) && !f.files.GetEntry(kProbeFile)->locked) << c.name;
        EXPECT_EQ(f.files.Content(std::string(kFolder) + "\\Tolvar32.bdb"),
                  f.files.IsDirectory(std::string(kFolder) + "\\Tolvar32.bdb") ? "" : "db")
            << c.name;
    }
}

struct HandOverCase {
    const char* name;
    bool started;
    bool restartedRunClears;  // the run with rights shares this run's temporary folder
};

TEST(StartRights, TheWorkFolderGoesToTheRestartedRunAndComesBack) {
    const HandOverCase cases[] = {
        {"the user refuses", false, false},
        {"the run with rights clears the folder", true, true},
        {"the run with rights has a temporary folder of its own", true, false},
    };
    for (const HandOverCase& c : cases) {
        FakePlatform f;
        Prepare(f, false);
        Denied(f);
        f.system.ScriptRestart(c.started, 0, c.started ? 0 : kErrorCancelled);
        bool workFolderFreeDuringRestart = false;
        bool instanceHeldDuringRestart = false;
        f.system.onRestart = [&] {
            workFolderFreeDuringRestart = !f.system.LockHeld(kWorkFolderLockName);
            instanceHeldDuringRestart = f.system.LockHeld(kInstanceLockName);
            SystemError error;
            if (c.restartedRunClears) f.files.RemoveEmptyDirectory(kTestWorkFolder, error);
        };
        UpdateApp app(f.platform, TestDeployment());
        app.InitInstance();
        app.ExitInstance();
        EXPECT_TRUE(workFolderFreeDuringRestart) << c.name;
        EXPECT_TRUE(instanceHeldDuringRestart) << c.name;
        // Whoever cleared it, nothing is left and nothing failed.
        EXPECT_FALSE(f.files.Exists(kTestWorkFolder)) << c.name;
        EXPECT_FALSE(f.log.Contains("stays")) << c.name;
        EXPECT_FALSE(f.system.LockHeld(kWorkFolderLockName)) << c.name;
        EXPECT_FALSE(f.system.LockHeld(kInstanceLockName)) << c.name;
    }
}

TEST(StartRights, ARunThatTookTheWorkFolderDuringTheConsentPromptKeepsIt) {
    FakePlatform f;
    Prepare(f, false);
    Denied(f);
    f.system.ScriptRestart(false, 0, kErrorCancelled);
    f.system.onRestart = [&] { f.system.HoldLockElsewhere(kWorkFolderLockName); };
    UpdateApp app(f.platform, TestDeployment());
    app.InitInstance();
    EXPECT_EQ(app.ExitInstance(), ExitCode::Stopped);
    for (const std::string& call : f.files.Calls()) {
        EXPECT_EQ(call.rfind("RemoveEmptyDirectory", 0), std::string::npos) << call;
    }
    EXPECT_EQ(f.system.ThreadsCreated(), 0);
}

}  // namespace
}  // namespace mivetrak
