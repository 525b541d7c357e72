// A run cut off after every single step that changes the disk, by a power cut (what was not
// flushed is lost), followed by a fresh start: at the moment of the cut every folder holds a
// complete old or a complete new database, or is between the two renames with both complete
// beside it; after the fresh start (the repair, then the update) every folder holds the new
// database, nothing of the program's is left beside it, the journal is gone, and the files it
// did not write are as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/install_recovery.h"
#include "unit/worker_harness.h"

namespace mivetrak {
namespace worker_test {
namespace {

// Files of someone else's, at the names the program would otherwise choose first.
const std::string kForeignSideInA = FolderPath('A') + "Tolvar32new0.tmp";
const std::string kForeignBackupInC = FolderPath('C') + "Tolvar32tmp0.tmp";
const char kForeign[] = "not the updater's";

// Folders A and C hold an old database, B none (it is kept by force).
void Prepare(WorkerRig& rig) {
    rig.AddFolder('A', true);
    rig.AddFolder('B', false);
    rig.AddFolder('C', true);
    rig.fake.files.AddFile(kForeignSideInA, kForeign);
    rig.fake.files.AddFile(kForeignBackupInC, kForeign);
}

std::vector<TargetFolder> AllFolders() {
    return {{FolderPath('A')}, {FolderPath('B')}, {FolderPath('C')}};
}

bool IsNew(WorkerRig& rig, const std::string& path) {
    const auto entry = rig.fake.files.GetEntry(path);
    return entry && entry->content == rig.body && SameSecond(entry->lastWrite, ServerTime());
}

bool Holds(WorkerRig& rig, const std::string& path, const std::string& content) {
    return rig.fake.files.Exists(path) && rig.fake.files.Content(path) == content;
}

// The folder at the moment of the cut: its database complete, old or new; or, between the two
// renames, the old one complete under its backup name and the new one complete beside it.
void ExpectCompleteAtTheCut(WorkerRig& rig, char letter, const std::string& side,
                            const std::string& backup) {
    SCOPED_TRACE(std::string("folder ") + letter);
    const std::string database = DatabaseIn(letter);
    const std::string old = std::string("old database ") + letter;
    if (rig.fake.files.Exists(database)) {
        EXPECT_TRUE(IsNew(rig, database) || Holds(rig, database, old));
    } else {
        EXPECT_TRUE(Holds(rig, backup, old)) << "no database and no old copy";
        EXPECT_TRUE(IsNew(rig, side)) << "no database and no complete new copy";
    }
}

void ExpectFinished(WorkerRig& rig) {
    for (char letter : {'A', 'B', 'C'}) {
        SCOPED_TRACE(std::string("folder ") + letter);
        EXPECT_TRUE(IsNew(rig, DatabaseIn(letter)));
        std::vector<std::string> expected = {DatabaseIn(letter)};
        if (letter == 'A') expected.push_back(kForeignSideInA);
        if (letter == 'C') expected.push_back(kForeignBackupInC);
        std::vector<std::string> files = rig.fake.files.Files(FolderPath(letter));
        std::sort(files.begin(), files.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(files, expected);
    }
    EXPECT_EQ(rig.fake.files.Content(kForeignSideInA), kForeign);
    EXPECT_EQ(rig.fake.files.Content(kForeignBackupInC), kForeign);
    // (What else a cut-off run left in the work folder is for its clean-up at exit.)
    EXPECT_FALSE(rig.fake.files.Exists(kJournal));
}

int ChangesOfACompleteRun() {
    WorkerRig rig;
    Prepare(rig);
    const int before = rig.fake.files.Changes();
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    ExpectFinished(rig);
    return rig.fake.files.Changes() - before;
}

TEST(InstallCrash, EveryCrashPointEndsWithACompleteDatabaseEverywhere) {
    const int changes = ChangesOfACompleteRun();
    // Three folders of at least nine steps each, beside the download and the index.
    ASSERT_GE(changes, 30);
    ::testing::Test::RecordProperty("crash_points", changes + 1);
    for (int stop = 0; stop <= changes; ++stop) {
        SCOPED_TRACE("cut after " + std::to_string(stop) + " of " + std::to_string(changes) +
                     " changes");
        WorkerRig rig;
        Prepare(rig);
        rig.fake.files.StopAfter(stop);
        rig.Run();
        rig.fake.files.PowerCut();
        rig.fake.files.Restart();

        ExpectCompleteAtTheCut(rig, 'A', FolderPath('A') + "Tolvar32new1.tmp",
                               FolderPath('A') + "Tolvar32tmp0.tmp");
        if (rig.fake.files.Exists(DatabaseIn('B'))) {
            EXPECT_TRUE(IsNew(rig, DatabaseIn('B')));
        }
        ExpectCompleteAtTheCut(rig, 'C', FolderPath('C') + "Tolvar32new0.tmp",
                               FolderPath('C') + "Tolvar32tmp1.tmp");

        // The next start: the repair first, then an update of every folder.
        EXPECT_TRUE(RecoverInterruptedInstalls(rig.fake.platform, kWorkFolder, AllFolders(),
                                               "C:\\Temp\\journal set aside")
                        .empty());
        rig.folders = AllFolders();
        EXPECT_EQ(rig.Run(), ExitCode::Done);
        ExpectFinished(rig);
        if (::testing::Test::HasFailure()) break;  // one broken crash point is enough to read
    }
}

}  // namespace
}  // namespace worker_test
}  // namespace mivetrak
