// What a start does with each state that an installation cut off at some point leaves in a
// folder, as its journal record tells it: the folder always ends with a complete database, and
// nothing the record does not name, or that is not what the record says, is touched.
#include "engine/install_recovery.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/folder_install.h"
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

const std::vector<TargetFolder> kFolders = {{"C:\\Db\\"}};
const char kSetAside[] = "C:\\Temp\\journal set aside";

// A record as the installation writes it: the checked length of the new copy, and the identity
// of the database that is about to move to the backup name.
JournalRecord Record(FakeFileSystem& files, const char* target, const char* side,
                     const char* backup) {
    JournalRecord record;
    record.target = target;
    record.side = side;
    record.backup = backup;
    record.length = kNew.size();
    FileIdentity identity;
    SystemError error;
    if (files.Identity(target, identity, error)) record.oldCopy = identity;
    return record;
}

std::vector<std::string> Recover(FakePlatform& fake) {
    return RecoverInterruptedInstalls(fake.platform, kWork, kFolders, kSetAside);
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
        {"between the two renames; the backup name holds no file the record knows",
         true,
         true,
         {},
         kNew,
         kForeign,
         kNew,
         {},
         kForeign},
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
        JournalRecord record = Record(fake.files, kTarget, kSide, c.hadDatabase ? kBackup : "");
        if (c.backup == kOld) {
            // The old copy that the installation moved aside.
            FileIdentity identity;
            SystemError error;
            ASSERT_TRUE(fake.files.Identity(kBackup, identity, error));
            record.oldCopy = identity;
        }
        fake.files.AddFile("C:\\Db\\Tolvar32tmp1.tmp", kForeign);
        InstallJournal journal(fake.files, kWork);
        ASSERT_TRUE(journal.Begin(record));
        if (c.switching) {
            ASSERT_TRUE(journal.MarkSwitching(record));
        }

        EXPECT_TRUE(Recover(fake).empty());
        EXPECT_EQ(Read(fake.files, kTarget), c.targetAfter);
        EXPECT_EQ(Read(fake.files, kSide), c.sideAfter);
        EXPECT_EQ(Read(fake.files, kBackup), c.backupAfter);
        EXPECT_EQ(fake.files.Content("C:\\Db\\Tolvar32tmp1.tmp"), kForeign);
        EXPECT_FALSE(fake.files.Exists(kJournalPath));
        EXPECT_TRUE(fake.log.Contains("An earlier run left the installation of C:\\Db\\"));
    }
}

// A step that fails now (the old copy is still held by another program, or the rights do not
// reach the folder) leaves the record, and names the folder, for a later start, which finishes
// the job.
TEST(InstallRecovery, AFolderThatCannotBePutInOrderNowIsTriedAgainLater) {
    FakePlatform fake;
    fake.files.AddDirectory(kWork);
    fake.files.AddFile(kTarget, kOld);
    InstallJournal journal(fake.files, kWork);
    JournalRecord record = Record(fake.files, kTarget, kSide, kBackup);
    SystemError error;
    ASSERT_TRUE(fake.files.RenameFile(kTarget, kBackup, error));
    fake.files.AddFile(kSide, kNew);
    ASSERT_TRUE(journal.Begin(record));
    ASSERT_TRUE(journal.MarkSwitching(record));
    fake.files.SetLocked(kBackup);

    EXPECT_EQ(Recover(fake), std::vector<std::string>{"C:\\Db\\"});
    EXPECT_FALSE(fake.files.Exists(kTarget));
    EXPECT_TRUE(fake.files.Exists(kJournalPath));
    EXPECT_TRUE(
        fake.log.Contains("Could not rename C:\\Db\\Tolvar32tmp0.tmp to " + std::string(kTarget)));

    fake.files.SetLocked(kBackup, false);
    EXPECT_TRUE(Recover(fake).empty());
    EXPECT_EQ(fake.files.Content(kTarget), kOld);
    EXPECT_FALSE(fake.files.Exists(kSide));
    EXPECT_FALSE(fake.files.Exists(kJournalPath));
}

// The journal lies where every program of the user may write: a record outside this run's
// folders, one that names other files than the program's own, and one whose new copy is not
// what it says (another length or hash) move and delete nothing, and are closed.
TEST(InstallRecovery, ARecordThatFailsTheChecksIsNotActedOn) {
    const char kPlanted[] = "C:\\Users\\Someone\\planted.bdb";
    const char kVictim[] = "C:\\Victim\\Tolvar32.bdb";
    const char kVictimSide[] = "C:\\Victim\\Tolvar32new0.tmp";
    struct Case {
        const char* name;
        const char* target;
        const char* side;
        const char* backup;
        std::function<void(JournalRecord&)> change;
    };
    const Case cases[] = {
        {"another folder", kVictim, kVictimSide, "", nullptr},
        {"another side name", kTarget, kPlanted, "", nullptr},
        {"a side name with more digits", kTarget, "C:\\Db\\Tolvar32new01.tmp", "", nullptr},
        {"another backup name", kTarget, kSide, kPlanted, nullptr},
        {"another database", "C:\\Db\\Other.dll", "C:\\Db\\Othernew0.tmp", "", nullptr},
        {"a new copy of another length", kTarget, kSide, "",
         [](JournalRecord& r) { r.length = kNew.size() + 1; }},
        {"a new copy of another hash", kTarget, kSide, "",
         [](JournalRecord& r) { r.sha256 = std::string(64, '0'); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakePlatform fake;
        fake.files.AddDirectory(kWork);
        for (const char* file : {kPlanted, kVictimSide, "C:\\Db\\Tolvar32new01.tmp",
                                 "C:\\Db\\Othernew0.tmp", kSide, kBackup}) {
            fake.files.AddFile(file, file == std::string(kSide) ? kNew : kForeign);
        }
        InstallJournal journal(fake.files, kWork);
        JournalRecord record = Record(fake.files, c.target, c.side, c.backup);
        if (c.change) c.change(record);
        ASSERT_TRUE(journal.Begin(record));
        ASSERT_TRUE(journal.MarkSwitching(record));

        EXPECT_TRUE(Recover(fake).empty());
        EXPECT_FALSE(fake.files.Exists(c.target));
        EXPECT_EQ(fake.files.Content(kSide), kNew);
        for (const char* file : {kPlanted, kVictimSide, kBackup}) {
            EXPECT_EQ(fake.files.Content(file), kForeign) << file;
        }
        EXPECT_FALSE(fake.files.Exists(kJournalPath));
    }
}

TEST(InstallRecovery, WithoutAJournalNothingIsTouched) {
    FakePlatform fake;
    fake.files.AddDirectory(kWork);
    fake.files.AddFile(kSide, kNew);
    EXPECT_TRUE(Recover(fake).empty());
    EXPECT_TRUE(fake.files.Exists(kSide));
    EXPECT_TRUE(fake.log.Lines().empty());
}

// Junk, or a journal too large to be one, is set aside under another name; it never stops a run.
TEST(InstallRecovery, AJournalThatCannotBeReadIsSetAside) {
    FakePlatform fake;
    fake.files.AddDirectory("C:\\Temp");
    fake.files.AddFile(kJournalPath, std::string(2 * 1024 * 1024, 'j'));
    fake.files.AddFile(kSetAside, "an older one");
    EXPECT_TRUE(Recover(fake).empty());
    EXPECT_FALSE(fake.files.Exists(kJournalPath));
    EXPECT_EQ(fake.files.Content(kSetAside).size(), 2u * 1024 * 1024);
    EXPECT_TRUE(fake.log.Contains("cannot be read; it is set aside as " + std::string(kSetAside)));
}

}  // namespace
}  // namespace mivetrak
