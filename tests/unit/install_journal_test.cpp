// The installation journal: records through their three lines, numbering, removal once nothing
// is open, lines cut short or garbled, and what the work folder's clean-up must keep.
#include "engine/install_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/work_files.h"
#include "fakes/fake_file_system.h"

namespace mivetrak {
namespace {

const char kWork[] = "C:\\Temp\\orzavtmp\\";
const char kJournalPath[] = "C:\\Temp\\orzavtmp\\zavjrnl.tmp";

JournalRecord Record(const std::string& folder, bool withBackup = true) {
    JournalRecord record;
    record.target = folder + "Tolvar32.bdb";
    record.side = folder + "Tolvar32new0.tmp";
    record.backup = withBackup ? folder + "Tolvar32tmp0.tmp" : "";
    return record;
}

class InstallJournalTest : public ::testing::Test {
protected:
    InstallJournalTest() { files.AddDirectory(kWork); }
    std::vector<JournalRecord> Open() {
        std::vector<JournalRecord> open;
        EXPECT_TRUE(journal.ReadOpenRecords(open));
        return open;
    }
    FakeFileSystem files;
    InstallJournal journal{files, kWork};
};

TEST_F(InstallJournalTest, RecordsGoThroughBeginSwitchAndDone) {
    EXPECT_TRUE(Open().empty());
    JournalRecord a = Record("C:\\A\\");
    JournalRecord b = Record("D:\\Données\\", false);
    ASSERT_TRUE(journal.Begin(a));
    ASSERT_TRUE(journal.Begin(b));
    EXPECT_EQ(a.number, 0);
    EXPECT_EQ(b.number, 1);
    ASSERT_TRUE(journal.MarkSwitching(b));

    auto open = Open();
    ASSERT_EQ(open.size(), 2u);
    EXPECT_EQ(open[0].target, "C:\\A\\Tolvar32.bdb");
    EXPECT_EQ(open[0].side, "C:\\A\\Tolvar32new0.tmp");
    EXPECT_EQ(open[0].backup, "C:\\A\\Tolvar32tmp0.tmp");
    EXPECT_FALSE(open[0].switching);
    EXPECT_EQ(open[1].target, "D:\\Données\\Tolvar32.bdb");
    EXPECT_EQ(open[1].backup, "");
    EXPECT_TRUE(open[1].switching);

    ASSERT_TRUE(journal.MarkDone(b));
    open = Open();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].number, 0);
    EXPECT_TRUE(files.Exists(kJournalPath));
    ASSERT_TRUE(journal.MarkDone(a));
    EXPECT_FALSE(files.Exists(kJournalPath));

    // The numbers go on after the ones still in the journal, never reusing an open one.
    JournalRecord c = Record("C:\\C\\");
    ASSERT_TRUE(journal.Begin(c));
    EXPECT_EQ(c.number, 0);
}

TEST_F(InstallJournalTest, EveryLineIsFlushedBeforeTheCallReturns) {
    JournalRecord a = Record("C:\\A\\");
    ASSERT_TRUE(journal.Begin(a));
    files.PowerCut();
    auto open = Open();
    ASSERT_EQ(open.size(), 1u);
    ASSERT_TRUE(journal.MarkSwitching(open[0]));
    files.PowerCut();
    open = Open();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_TRUE(open[0].switching);
}

// A line cut short at any byte before its line end (a power cut in the middle of a write) reads
// as not written; the lines before it still count, and a line written after it is read again.
TEST_F(InstallJournalTest, ALineCutShortAnywhereIsNotRead) {
    JournalRecord a = Record("C:\\A\\");
    ASSERT_TRUE(journal.Begin(a));
    const std::string begun = files.Content(kJournalPath);
    ASSERT_TRUE(journal.MarkSwitching(a));
    const std::string switched = files.Content(kJournalPath);
    for (size_t cut = begun.size(); cut + 2 < switched.size(); ++cut) {
        SCOPED_TRACE(cut);
        files.AddFile(kJournalPath, switched.substr(0, cut));
        auto open = Open();
        ASSERT_EQ(open.size(), 1u);
        EXPECT_FALSE(open[0].switching);
        ASSERT_TRUE(journal.MarkDone(open[0]));
        EXPECT_TRUE(Open().empty());
    }
    for (size_t cut = 0; cut + 2 < begun.size(); ++cut) {
        files.AddFile(kJournalPath, begun.substr(0, cut));
        EXPECT_TRUE(Open().empty()) << cut;
    }
}

TEST_F(InstallJournalTest, AGarbledLineIsNotRead) {
    JournalRecord a = Record("C:\\A\\");
    ASSERT_TRUE(journal.Begin(a));
    std::string text = files.Content(kJournalPath);
    const size_t at = text.find("Tolvar32new0");
    ASSERT_NE(at, std::string::npos);
    text[at] = 't';
    files.AddFile(kJournalPath, text);
    EXPECT_TRUE(Open().empty());
}

TEST_F(InstallJournalTest, WhatTheWorkFolderMustKeep) {
    EXPECT_TRUE(WorkFilesStillNeeded(files, kWork).empty());
    JournalRecord a = Record("C:\\A\\");
    ASSERT_TRUE(journal.Begin(a));
    EXPECT_EQ(WorkFilesStillNeeded(files, kWork), std::vector<std::string>{"zavjrnl.tmp"});
    // A journal whose records are all done is not needed, even when it could not be deleted.
    files.FailDelete(kJournalPath);
    ASSERT_TRUE(journal.MarkDone(a));
    ASSERT_TRUE(files.Exists(kJournalPath));
    EXPECT_TRUE(WorkFilesStillNeeded(files, kWork).empty());
    // One that cannot be read is kept.
    files.SetLocked(kJournalPath);
    EXPECT_EQ(WorkFilesStillNeeded(files, kWork), std::vector<std::string>{"zavjrnl.tmp"});
}

}  // namespace
}  // namespace mivetrak
