// The installation into one folder: the order of its steps (journal, side copy, flush, the two
// renames, the backup's removal), and what each failure leaves, down to the record from which
// the next start puts the folder back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/install_journal.h"
#include "engine/install_recovery.h"
#include "engine/work_files.h"
#include "unit/worker_harness.h"

namespace mivetrak {
namespace worker_test {
namespace {

const Strings kInstallAlert{"P1:0", "P1:25", "P1:51", "P1:76", "P2:0", "A7"};

// The calls that change the disk in folder A or the journal, in order.
Strings StepsOfA(const WorkerRig& rig) {
    Strings out;
    for (const auto& call : rig.FileLog()) {
        const bool aOrJournal = call.find(FolderPath('A')) != std::string::npos ||
                                call.find(kJournal) != std::string::npos;
        if (aOrJournal && WorkerRig::ChangesDisk(call)) out.push_back(call);
    }
    return out;
}

std::vector<JournalRecord> OpenRecords(WorkerRig& rig) {
    InstallJournal journal(rig.fake.files, kWorkFolder);
    std::vector<JournalRecord> open;
    EXPECT_TRUE(journal.ReadOpenRecords(open));
    return open;
}

TEST(WorkerFolderInstall, TheNewCopyIsOnDiskBeforeTheOldOneIsLetGo) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    const std::string journal = kJournal;
    const Strings expected = {
        "OpenFile " + journal + " append",
        "FlushFile " + journal,
        "OpenFile C:\\DbA\\Tolvar32new0.tmp create-new",
        "FlushFile C:\\DbA\\Tolvar32new0.tmp",
        "OpenFile " + journal + " append",
        "FlushFile " + journal,
        "RenameFile C:\\DbA\\Tolvar32.bdb -> C:\\DbA\\Tolvar32tmp0.tmp",
        "RenameFile C:\\DbA\\Tolvar32new0.tmp -> C:\\DbA\\Tolvar32.bdb",
        "RemoveFile C:\\DbA\\Tolvar32tmp0.tmp",
        "OpenFile " + journal + " append",
        "FlushFile " + journal,
        "RemoveFile " + journal,
    };
    EXPECT_EQ(StepsOfA(rig), expected);
    rig.ExpectNewDatabaseIn('A');
    rig.ExpectNoBackupIn('A');
    EXPECT_FALSE(rig.fake.files.Exists(kJournal));
}

TEST(WorkerFolderInstall, AFolderWithoutDatabaseNeedsOneRename) {
    WorkerRig rig;
    rig.AddFolder('A', false);
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    Strings renames;
    for (const auto& step : StepsOfA(rig)) {
        if (step.rfind("RenameFile", 0) == 0) renames.push_back(step);
    }
    EXPECT_EQ(renames, Strings{"RenameFile C:\\DbA\\Tolvar32new0.tmp -> C:\\DbA\\Tolvar32.bdb"});
    rig.ExpectNewDatabaseIn('A');
}

TEST(WorkerFolderInstall, SideAndBackupNamesLeftByOthersAreSkippedAndKept) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.fake.files.AddFile(SideIn('A'), "someone's file");
    rig.fake.files.AddFile(BackupIn('A'), "an earlier backup");
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    EXPECT_TRUE(rig.Logged("OpenFile C:\\DbA\\Tolvar32new1.tmp create-new"));
    EXPECT_TRUE(rig.Logged("RenameFile C:\\DbA\\Tolvar32.bdb -> C:\\DbA\\Tolvar32tmp1.tmp"));
    EXPECT_EQ(rig.fake.files.Content(SideIn('A')), "someone's file");
    EXPECT_EQ(rig.fake.files.Content(BackupIn('A')), "an earlier backup");
    rig.ExpectNewDatabaseIn('A');
}

// Another program creates a file at the side name between its choice and the copy: the copy
// fails as a failed installation, and that file, not written here, stays.
TEST(WorkerFolderInstall, AFileThatTookTheSideNameMeanwhileIsNotDeleted) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.fake.files.FailCopyTo(SideIn('A'), 5, kErrorFileExists);  // leaves a file of 5 bytes
    EXPECT_EQ(rig.Run(), ExitCode::InstallFailed);
    rig.ExpectOldDatabaseIn('A');
    EXPECT_FALSE(rig.fake.files.Exists(BackupIn('A')));
    EXPECT_TRUE(rig.fake.files.Exists(SideIn('A')));
    EXPECT_FALSE(rig.fake.files.Exists(kJournal));
}

TEST(WorkerFolderInstall, FlushThatFailsLeavesTheFolderAsItWas) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.fake.files.FailWrite(SideIn('A'));
    EXPECT_EQ(rig.Run(), ExitCode::InstallFailed);
    EXPECT_EQ(rig.Messages(), [] {
        Strings m = kCheck;
        m.insert(m.end(), kInstallAlert.begin(), kInstallAlert.end());
        return m;
    }());
    rig.ExpectOldDatabaseIn('A');
    EXPECT_FALSE(rig.fake.files.Exists(SideIn('A')));
    EXPECT_FALSE(rig.fake.files.Exists(kJournal));
    EXPECT_TRUE(rig.fake.log.Contains(
        "Could not copy C:\\Temp\\orzavtmp\\Tolvar32.bdb to C:\\DbA\\Tolvar32new0.tmp"));
}

TEST(WorkerFolderInstall, JournalThatCannotBeWrittenLeavesTheFolderAlone) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.fake.files.AddFile(kJournal, "");
    rig.fake.files.FailWrite(kJournal);
    EXPECT_EQ(rig.Run(), ExitCode::InstallFailed);
    EXPECT_EQ(rig.ChangesIn('A'), Strings{});
    rig.ExpectOldDatabaseIn('A');
    EXPECT_TRUE(rig.fake.log.Contains("Could not write the installation journal"));
}

// The new copy cannot take the database's name, and the old copy cannot be put back either:
// nothing is lost. The old copy stays under its backup name, the record stays open, the result
// is a failed installation, and the next start puts the old copy back.
TEST(WorkerFolderInstall, PutbackThatFailsKeepsTheBackupForTheNextStart) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.fake.files.FailRename(SideIn('A'), 1, kErrorAccessDenied);
    rig.fake.files.FailRename(BackupIn('A'), 1, kErrorAccessDenied);
    EXPECT_EQ(rig.Run(), ExitCode::InstallFailed);
    EXPECT_FALSE(rig.fake.files.Exists(DatabaseIn('A')));
    EXPECT_EQ(rig.fake.files.Content(BackupIn('A')), "old database A");
    EXPECT_FALSE(rig.fake.files.Exists(kTempDatabase));
    const auto open = OpenRecords(rig);
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].target, DatabaseIn('A'));
    EXPECT_EQ(open[0].backup, BackupIn('A'));
    EXPECT_TRUE(open[0].switching);
    EXPECT_EQ(WorkFilesStillNeeded(rig.fake.files, kWorkFolder), Strings{"zavjrnl.tmp"});
    EXPECT_TRUE(rig.fake.log.Contains("Could not put C:\\DbA\\Tolvar32tmp0.tmp back"));

    EXPECT_TRUE(RecoverAll(rig));
    rig.ExpectOldDatabaseIn('A');
    rig.ExpectNoBackupIn('A');
    EXPECT_FALSE(rig.fake.files.Exists(kJournal));
}

TEST(WorkerFolderInstall, BackupThatCannotBeDeletedIsLeftToTheNextStart) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.AddFolder('B', true);
    rig.fake.files.FailDelete(BackupIn('A'));
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    rig.ExpectNewDatabaseIn('A');
    rig.ExpectNewDatabaseIn('B');
    EXPECT_TRUE(rig.fake.files.Exists(BackupIn('A')));
    ASSERT_EQ(OpenRecords(rig).size(), 1u);

    rig.fake.files.ClearDeleteFailure(BackupIn('A'));
    EXPECT_TRUE(RecoverAll(rig));
    rig.ExpectNewDatabaseIn('A');
    rig.ExpectNoBackupIn('A');
    EXPECT_FALSE(rig.fake.files.Exists(kJournal));
}

// The backup keeps the old copy's read-only attribute; the program clears it on its own backup
// before deleting it, so that nothing stays behind under the backup name.
TEST(WorkerFolderInstall, AReadOnlyOldCopyLeavesNoBackup) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.fake.files.SetReadOnly(DatabaseIn('A'));
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    rig.ExpectNewDatabaseIn('A');
    rig.ExpectNoBackupIn('A');
    EXPECT_FALSE(rig.fake.files.Exists(kJournal));
}

}  // namespace
}  // namespace worker_test
}  // namespace mivetrak
