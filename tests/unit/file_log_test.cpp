// The log file: its lines, the lines written before its folder is known, setting a full file
// aside, another run setting it aside meanwhile, and a file that cannot be written.
#include "platform/file_log.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "fakes/fake_file_system.h"
#include "fakes/fake_system.h"
#include "support/test_time.h"

namespace mivetrak {
namespace {

const char kTemp[] = "C:\\Users\\Ann\\Temp\\";
const char kLog[] = "C:\\Users\\Ann\\Temp\\Mivetrak.log";
const char kOld[] = "C:\\Users\\Ann\\Temp\\Mivetrak.log.old";

// What a line of this test's clock and process looks like.
std::string LineOf(const std::string& sentence) {
    return "2025-01-31 23:59:58.007 pid 240: " + sentence + "\r\n";
}

class FileLogTest : public ::testing::Test {
protected:
    FileLogTest() {
        files.AddDirectory(kTemp);
        system.SetLocalTime(MakeTime(2025, 1, 31, 23, 59, 58, 7));
        system.SetProcessId(240);
    }

    FakeFileSystem files;
    FakeSystem system;
    FileLog log{files, system};
};

TEST(LogLine, LocalTimeToTheMillisecondProcessIdAndOneSentenceOnOneLine) {
    EXPECT_EQ(FormatLogLine(MakeTime(2024, 3, 5, 7, 7, 8, 123), 240, "Found C:\\Db\\."),
              "2024-03-05 07:07:08.123 pid 240: Found C:\\Db\\.\r\n");
    // A sentence that carries a server's or the system's text cannot break the line.
    EXPECT_EQ(FormatLogLine(MakeTime(2024, 12, 31, 0, 0, 0, 0), 7,
                            "a\r\nb\tc\x7f"
                            "d"),
              "2024-12-31 00:00:00.000 pid 7: a  b c d\r\n");
}

TEST_F(FileLogTest, LinesBeforeTheFolderIsKnownGoFirstInTheirOrder) {
    files.AddFile(kLog, "earlier run\r\n");
    log.Write("Mivetrak starts.");
    log.Write("The command line is: x.");
    EXPECT_EQ(files.Content(kLog), "earlier run\r\n");  // nothing yet
    log.StartFileIn(kTemp);
    log.Write("After.");
    EXPECT_EQ(files.Content(kLog), "earlier run\r\n" + LineOf("Mivetrak starts.") +
                                       LineOf("The command line is: x.") + LineOf("After."));
    EXPECT_EQ(files.OpenHandleCount(), 0);
}

TEST_F(FileLogTest, LinesBeforeTheFolderIsKnownAreBounded) {
    for (size_t i = 0; i < kMaxEarlyLines + 5; ++i) log.Write("line " + std::to_string(i));
    log.StartFileIn(kTemp);
    const std::string content = files.Content(kLog);
    EXPECT_NE(content.find(LineOf("line " + std::to_string(kMaxEarlyLines - 1))),
              std::string::npos);
    EXPECT_EQ(content.find("line " + std::to_string(kMaxEarlyLines) + "\r\n"), std::string::npos);
    EXPECT_NE(content.find(LineOf("5 more lines, written before the log's folder was known, "
                                  "were not kept.")),
              std::string::npos);
}

struct RotationCase {
    const char* name;
    size_t logBytes;  // the log's size before the line
    bool olderOld;    // an older Mivetrak.log.old exists
    bool oldHeld;     // another program holds that one, so that it cannot be replaced
    bool setAside;    // the log became Mivetrak.log.old and a new one holds the line
};

const RotationCase kRotations[] = {
    {"below 1 MiB", kLogFileLimit - 1, false, false, false},
    {"at 1 MiB", kLogFileLimit, false, false, true},
    {"past 1 MiB, replacing an older one", kLogFileLimit + 10, true, false, true},
    {"past 1 MiB, the older one held", kLogFileLimit + 10, true, true, false},
};

TEST(FileLogRotation, AFullFileIsSetAsideUnderTheOldNameAndANewOneBegins) {
    for (const RotationCase& c : kRotations) {
        SCOPED_TRACE(c.name);
        FakeFileSystem files;
        FakeSystem system;
        system.SetLocalTime(MakeTime(2025, 1, 31, 23, 59, 58, 7));
        system.SetProcessId(240);
        const std::string full(c.logBytes, 'x');
        files.AddFile(kLog, full);
        if (c.olderOld) files.AddFile(kOld, "older");
        if (c.oldHeld) files.SetLocked(kOld);
        FileLog log(files, system);
        log.StartFileIn(kTemp);
        log.Write("The line.");
        if (c.setAside) {
            EXPECT_EQ(files.Content(kOld), full);
            EXPECT_EQ(files.Content(kLog), LineOf("The line."));
        } else {
            EXPECT_EQ(files.Content(kLog), full + LineOf("The line."));
            EXPECT_EQ(files.Content(kOld), c.olderOld ? "older" : "");
        }
        EXPECT_EQ(files.OpenHandleCount(), 0);
    }
}

TEST_F(FileLogTest, AFileThatAnotherRunSetAsideMeanwhileIsLeftForTheNewOne) {
    log.StartFileIn(kTemp);
    files.AddFile(kLog, "before\r\n");
    // Between this run's open and its lock, the other run renames the full file and starts a new
    // one.
    files.BeforeNextLock([this] {
        SystemError error;
        ASSERT_TRUE(files.RenameFile(kLog, kOld, error));
        files.AddFile(kLog, "the other run's line\r\n");
    });
    log.Write("This run's line.");
    EXPECT_EQ(files.Content(kOld), "before\r\n");
    EXPECT_EQ(files.Content(kLog), "the other run's line\r\n" + LineOf("This run's line."));
    EXPECT_EQ(files.OpenHandleCount(), 0);
}

TEST_F(FileLogTest, ALockThatCannotBeHadStillLetsTheLineThrough) {
    log.StartFileIn(kTemp);
    SystemError error;
    const std::unique_ptr<SharedAppendFile> holder = files.OpenSharedAppend(kLog, error);
    ASSERT_TRUE(holder && holder->Lock(error));
    log.Write("Written all the same.");
    EXPECT_EQ(files.Content(kLog), LineOf("Written all the same."));
}

struct UnwritableCase {
    const char* name;
    std::function<void(FakeFileSystem&)> arrange;
};

const UnwritableCase kUnwritable[] = {
    {"the folder is gone",
     [](FakeFileSystem& f) {
         SystemError e;
         f.RemoveEmptyDirectory(kTemp, e);
     }},
    {"the folder may not be written", [](FakeFileSystem& f) { f.DenyWriting(kTemp); }},
    {"the disk is full", [](FakeFileSystem& f) { f.SetDiskSpace(0); }},
    {"a folder has the log's name", [](FakeFileSystem& f) { f.AddDirectory(kLog); }},
};

TEST(FileLogFailure, ALogThatCannotBeWrittenLosesItsLinesAndNothingElse) {
    for (const UnwritableCase& c : kUnwritable) {
        SCOPED_TRACE(c.name);
        FakeFileSystem files;
        FakeSystem system;
        files.AddDirectory(kTemp);
        c.arrange(files);
        FileLog log(files, system);
        log.Write("Before.");
        log.StartFileIn(kTemp);
        log.Write("After.");
        EXPECT_EQ(files.Content(kLog), "");
        EXPECT_EQ(files.OpenHandleCount(), 0);
    }
}

}  // namespace
}  // namespace mivetrak
