// The worker asks whether to try again only about a file that another program holds (a sharing
// or lock violation). Any other refusal, access denied above all, fails the installation of
// that folder at once, with the old database in place: asking again could not change it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "unit/worker_harness.h"

namespace mivetrak {
namespace worker_test {
namespace {

struct InUseCase {
    const char* name;
    std::function<void(WorkerRig&)> arrange;
    ExitCode expected;
    const char* lastMessage;  // the question (declined here) or the installation failure
};

const InUseCase kCases[] = {
    {"reading: sharing violation",
     [](WorkerRig& rig) { rig.fake.files.SetLocked(DatabaseIn('A')); }, ExitCode::Stopped, "Q6"},
    {"reading: lock violation",
     [](WorkerRig& rig) { rig.fake.files.SetLocked(DatabaseIn('A'), true, kErrorLockViolation); },
     ExitCode::Stopped, "Q6"},
    {"reading: access denied",
     [](WorkerRig& rig) { rig.fake.files.SetLocked(DatabaseIn('A'), true, kErrorAccessDenied); },
     ExitCode::InstallFailed, "A7"},
    {"renaming: sharing violation",
     [](WorkerRig& rig) { rig.fake.files.FailRename(DatabaseIn('A')); }, ExitCode::Stopped, "Q6"},
    {"renaming: lock violation",
     [](WorkerRig& rig) { rig.fake.files.FailRename(DatabaseIn('A'), -1, kErrorLockViolation); },
     ExitCode::Stopped, "Q6"},
    {"renaming: access denied",
     [](WorkerRig& rig) { rig.fake.files.FailRename(DatabaseIn('A'), -1, kErrorAccessDenied); },
     ExitCode::InstallFailed, "A7"},
    {"a folder the user may not write",
     [](WorkerRig& rig) { rig.fake.files.DenyWriting(FolderPath('A')); }, ExitCode::InstallFailed,
     "A7"},
};

TEST(WorkerInUse, OnlyAFileInUseIsAskedAbout) {
    for (const InUseCase& c : kCases) {
        WorkerRig rig;
        rig.AddFolder('A', true);
        c.arrange(rig);
        rig.fake.ui.defaultSendAnswer = 0;  // a question is declined
        EXPECT_EQ(rig.Run(), c.expected) << c.name;
        const Strings messages = rig.Messages();
        ASSERT_FALSE(messages.empty()) << c.name;
        EXPECT_EQ(messages.back(), c.lastMessage) << c.name;
        // Asked at most once, and only when declining ends the run.
        const long questions = std::count(messages.begin(), messages.end(), "Q6");
        EXPECT_EQ(questions, c.expected == ExitCode::Stopped ? 1 : 0) << c.name;
        rig.ExpectOldDatabaseIn('A');
        rig.ExpectNoBackupIn('A');
        // Nothing of the installation stays: no new copy beside the old one, no open record.
        EXPECT_FALSE(rig.fake.files.Exists(SideIn('A'))) << c.name;
        EXPECT_FALSE(rig.fake.files.Exists(kJournal)) << c.name;
        rig.ExpectNothingLeftOpen();
        // A failed installation leaves no download behind.
        if (c.expected == ExitCode::InstallFailed) {
            EXPECT_FALSE(rig.fake.files.Exists(kTempDatabase)) << c.name;
        }
    }
}

// A directory by the database's name is no database: the folder (kept by force) gets a new copy
// that cannot take that name, a failed copy, and the directory stays.
TEST(WorkerInUse, AFolderNamedLikeTheDatabaseIsNoRightsProblemAndNoEndlessQuestion) {
    WorkerRig rig;
    rig.fake.files.AddDirectory(FolderPath('A'));
    rig.fake.files.AddDirectory(DatabaseIn('A'));
    rig.folders.push_back({FolderPath('A')});
    EXPECT_EQ(rig.Run(), ExitCode::InstallFailed);
    EXPECT_EQ(rig.Messages(), (Strings{"P0:0", "P0:20", "P0:50", "P0:80", "P1:0", "P1:25", "P1:51",
                                       "P1:76", "P2:0", "A7"}));
    EXPECT_TRUE(rig.fake.files.IsDirectory(DatabaseIn('A')));
    rig.ExpectNoBackupIn('A');
    EXPECT_FALSE(rig.fake.files.Exists(kJournal));
    EXPECT_TRUE(
        rig.fake.log.Contains("Could not rename " + SideIn('A') + " to " + DatabaseIn('A')));
}

}  // namespace
}  // namespace worker_test
}  // namespace mivetrak
