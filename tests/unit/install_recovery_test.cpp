// What a start does with each state that an installation cut off at some point leaves in a
// folder, as its journal record tells it: the folder always ends with a complete database, and
// nothing the record does not name is touched.
#include "engine/install_recovery.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/install_journal.h"
#include "fakes/fake_platform.h"

namespace mivetrak {
namespace {

const char kWork[] = "C:\\Temp\\orzavtmp\\";
const char kJournalPath[] = "C:\\Temp\\orzavtmp\\zavjrnl.tmp";
const char kTarget[] = "C:\\Db\\Tolvar32.bdb";
const char kSide[] = "C:\\Db\\Tolvar32new0.tmp";
const char kBackup[] = "C:\\Db\\Tolvar32tmp0.tmp";
const std::string kOld = "the old database";
const std::string kNew = "the complete new database";
const std::string kPartial = "the comp";
const std::string kForeign = "someone else's file";

using Content = std::optional<std::string>;  // nullopt: no file

struct RecoveryCase {
    const char* name;
    bool hadDatabase;  // the record names a backup
    bool switching;
    Content target, side, backup;                 // before
    Content targetAfter, sideAfter, backupAfter;  // after
};

void Put(FakeFileSystem& files, const char* path, const Content& content) {
    if (content) files.AddFile(path, *content);
}

Content Read(FakeFileSystem& files, const char* path) {
    if (!files.Exists(path)) return std::nullopt;
    return files.Content(path);
}

TEST(InstallRecovery, EveryStateEndsWithACompleteDatabase) {
    const RecoveryCase cases[] = {
        {"the new copy was being written", true, false, kOld, kPartial, {}, kOld, {}, {}},
        {"nothing written yet; a file by the backup name is not ours",
         true,
         false,
         kOld,
         {},
         kForeign,
         kOld,
         {},
         kForeign},
        {"the new copy complete, nothing renamed; the backup name is not ours",
         true,
         true,
         kOld,
         kNew,
         kForeign,
         kOld,
         {},
         kForeign},
        {"between the two renames", true, true, {}, kNew, kOld, kOld, {}, {}},
        {"the new copy in place, the old one not yet deleted",
         true,
         true,
         kNew,
         {},
         kOld,
         kNew,
         {},
         {}},
        {"everything done but the journal's last line", true, true, kNew, {}, {}, kNew, {}, {}},
        {"a folder without database, before its one rename",
         false,
         true,
         {},
         kNew,
         {},
         kNew,
         {},
         {}},
        {"a folder without database, its copy half written",
         false,
         false,
         {},
         kPartial,
         {},
         {},
         {},
         {}},
        {"a folder without database, done", false, true, kNew, {}, {}, kNew, {}, {}},
    };
    for (const RecoveryCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakePlatform fake;
        fake.files.AddDirectory(kWork);
        fake.files.AddDirectory("C:\\Db");
        Put(fake.files, kTarget, c.target);
        Put(fake.files, kSide, c.side);
        Put(fake.files, kBackup, c.backup);
        fake.files.AddFile("C:\\Db\\Tolvar32tmp1.tmp", kForeign);
        InstallJournal journal(fake.files, kWork);
        JournalRecord record{0, kTarget, kSide, c.hadDatabase ? kBackup : ""};
        ASSERT_TRUE(journal.Begin(record));
        if (c.switching) {
            ASSERT_TRUE(journal.MarkSwitching(record));
        }

        EXPECT_TRUE(RecoverInterruptedInstalls(fake.platform, kWork));
        EXPECT_EQ(Read(fake.files, kTarget), c.targetAfter);
        EXPECT_EQ(Read(fake.files, kSide), c.sideAfter);
        EXPECT_EQ(Read(fake.files, kBackup), c.backupAfter);
        EXPECT_EQ(fake.files.Content("C:\\Db\\Tolvar32tmp1.tmp"), kForeign);
        EXPECT_FALSE(fake.files.Exists(kJournalPath));
        EXPECT_TRUE(fake.log.Contains("An earlier run left the installation of C:\\Db\\"));
    }
}

// A step that fails now (the old copy is still held by another program) leaves the record for
// the next start, which finishes the job.
TEST(InstallRecovery, AFolderThatCannotBePutInOrderNowIsTriedAgainLater) {
    FakePlatform fake;
    fake.files.AddDirectory(kWork);
    fake.files.AddFile(kSide, kNew);
    fake.files.AddFile(kBackup, kOld);
    InstallJournal journal(fake.files, kWork);
    JournalRecord record{0, kTarget, kSide, kBackup};
    ASSERT_TRUE(journal.Begin(record));
    ASSERT_TRUE(journal.MarkSwitching(record));
    fake.files.SetLocked(kBackup);

    EXPECT_FALSE(RecoverInterruptedInstalls(fake.platform, kWork));
    EXPECT_FALSE(fake.files.Exists(kTarget));
    EXPECT_TRUE(fake.files.Exists(kJournalPath));
    EXPECT_TRUE(
        fake.log.Contains("Could not rename C:\\Db\\Tolvar32tmp0.tmp to " + std::string(kTarget)));

    fake.files.SetLocked(kBackup, false);
    EXPECT_TRUE(RecoverInterruptedInstalls(fake.platform, kWork));
    EXPECT_EQ(fake.files.Content(kTarget), kOld);
    EXPECT_FALSE(fake.files.Exists(kSide));
    EXPECT_FALSE(fake.files.Exists(kJournalPath));
}

// The journal lies where every program of the user may write: a record that names other files
// than the program's own beside a database moves and deletes nothing, and is closed.
TEST(InstallRecovery, ARecordNamingOtherFilesIsNotActedOn) {
    const char kPlanted[] = "C:\\Users\\Someone\\planted.bdb";
    const struct {
        const char* target;
        const char* side;
        const char* backup;
    } cases[] = {
        {kTarget, kPlanted, ""},
        {kTarget, "C:\\Db\\Tolvar32new01.tmp", ""},
        {kTarget, kSide, kPlanted},
        {"C:\\Db\\Other.dll", "C:\\Db\\Othernew0.tmp", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.target) + " " + c.side + " " + c.backup);
        FakePlatform fake;
        fake.files.AddDirectory(kWork);
        fake.files.AddFile(kPlanted, kForeign);
        fake.files.AddFile("C:\\Db\\Tolvar32new01.tmp", kForeign);
        fake.files.AddFile("C:\\Db\\Othernew0.tmp", kForeign);
        InstallJournal journal(fake.files, kWork);
        JournalRecord record{0, c.target, c.side, c.backup};
        ASSERT_TRUE(journal.Begin(record));
        ASSERT_TRUE(journal.MarkSwitching(record));

        EXPECT_TRUE(RecoverInterruptedInstalls(fake.platform, kWork));
        EXPECT_FALSE(fake.files.Exists(c.target));
        for (const char* file : {kPlanted, "C:\\Db\\Tolvar32new01.tmp", "C:\\Db\\Othernew0.tmp"}) {
            EXPECT_EQ(fake.files.Content(file), kForeign) << file;
        }
        EXPECT_FALSE(fake.files.Exists(kJournalPath));
        EXPECT_TRUE(fake.log.Contains("which are not the names this program gives"));
    }
}

TEST(InstallRecovery, WithoutAJournalNothingIsTouched) {
    FakePlatform fake;
    fake.files.AddDirectory(kWork);
    fake.files.AddFile(kSide, kNew);
    EXPECT_TRUE(RecoverInterruptedInstalls(fake.platform, kWork));
    EXPECT_TRUE(fake.files.Exists(kSide));
    EXPECT_TRUE(fake.log.Lines().empty());
}

TEST(InstallRecovery, AJournalThatCannotBeReadIsKept) {
    FakePlatform fake;
    fake.files.AddFile(kJournalPath, "whatever");
    fake.files.SetLocked(kJournalPath);
    EXPECT_FALSE(RecoverInterruptedInstalls(fake.platform, kWork));
    EXPECT_TRUE(fake.files.Exists(kJournalPath));
}

}  // namespace
}  // namespace mivetrak
