// The work folder at the program's end: the worker's leftovers go, and the folder with them;
// what is not the worker's stays; a removal counts only once the entry is gone.
#include "app/work_folder_cleanup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "engine/install_journal.h"
#include "fakes/fake_platform.h"

namespace mivetrak {
namespace {

const char kWork[] = "C:\\Temp\\orzavtmp\\";

struct CleanupCase {
    const char* name;
    std::vector<std::string> files;  // in the work folder before the clean-up
    std::function<void(FakePlatform&)> arrange;
    std::vector<std::string> remaining;  // files still there afterwards
    bool folderRemains;
    const char* logged;  // a sentence part the log must hold, or null
};

const CleanupCase kCases[] = {
    {"empty", {}, nullptr, {}, false, nullptr},
    {"the index and a download",
     {"zav.tmp", "Tolvar32.bdb"},
     nullptr,
     {},
     false,
     "Removed C:\\Temp\\orzavtmp\\Tolvar32.bdb."},
    {"a file that is not the worker's stays, and the folder with it",
     {"zav.tmp", "keep.txt"},
     nullptr,
     {"keep.txt"},
     true,
     "The work folder C:\\Temp\\orzavtmp\\ stays: error 145"},
    {"an installation's journal with a folder not done stays",
     {"Tolvar32.bdb", "zavjrnl.tmp"},
     [](FakePlatform& f) {
         JournalRecord record;
         record.target = "C:\\Db\\Tolvar32.bdb";
         record.side = "C:\\Db\\Tolvar32new0.tmp";
         ASSERT_TRUE(InstallJournal(f.files, kWork).Begin(record));
     },
     {"zavjrnl.tmp"},
     true,
     "C:\\Temp\\orzavtmp\\zavjrnl.tmp stays: the next start still needs it."},
    {"a journal with every folder done goes",
     {"zavjrnl.tmp"},
     nullptr,
     {},
     false,
     "Removed C:\\Temp\\orzavtmp\\zavjrnl.tmp."},
    {"a file of a name of its own stays",
     {"Tolvar32.bdb", "journal.dat"},
     nullptr,
     {"journal.dat"},
     true,
     nullptr},
    {"a delete that reports success and removes nothing",
     {"Tolvar32.bdb"},
     [](FakePlatform& f) { f.files.KeepDespiteRemoval("C:\\Temp\\orzavtmp\\Tolvar32.bdb"); },
     {"Tolvar32.bdb"},
     true,
     "Removing C:\\Temp\\orzavtmp\\Tolvar32.bdb was reported as done, but it is still there."},
    {"a folder removal that reports success and removes nothing",
     {},
     [](FakePlatform& f) { f.files.KeepDespiteRemoval(kWork); },
     {},
     true,
     "Removing C:\\Temp\\orzavtmp\\ was reported as done, but it is still there."},
    {"a delete that fails",
     {"zav.tmp"},
     [](FakePlatform& f) { f.files.FailDelete("C:\\Temp\\orzavtmp\\zav.tmp"); },
     {"zav.tmp"},
     true,
     "Could not remove C:\\Temp\\orzavtmp\\zav.tmp: error 5"},
};

TEST(WorkFolderCleanup, RemovesTheWorkersLeftoversAndThenTheFolder) {
    for (const CleanupCase& c : kCases) {
        FakePlatform f;
        f.files.AddDirectory(kWork);
        for (const std::string& name : c.files) f.files.AddFile(kWork + name, "x");
        if (c.arrange) c.arrange(f);
        // The run's hold on its folder, which the clean-up lets go before the folder goes.
        FolderFacts facts;
        SystemError error;
        std::unique_ptr<HeldFolder> hold = f.files.HoldFolder(kWork, facts, error);
        CleanUpWorkFolder(f.platform, kWork, hold);
        for (const std::string& name : c.files) {
            const bool remains =
                std::find(c.remaining.begin(), c.remaining.end(), name) != c.remaining.end();
            EXPECT_EQ(f.files.Exists(kWork + name), remains) << c.name << ": " << name;
        }
        EXPECT_EQ(f.files.IsDirectory(kWork), c.folderRemains) << c.name;
        if (c.logged != nullptr) {
            EXPECT_TRUE(f.log.Contains(c.logged)) << c.name;
        }
    }
}

// A worker left blocked on the network after a cancel still holds its download open; the file
// was opened with delete sharing, so it goes all the same.
TEST(WorkFolderCleanup, ADownloadStillOpenInTheWorkerGoes) {
    FakePlatform f;
    f.files.AddDirectory(kWork);
    SystemError error;
    const std::string download = std::string(kWork) + "Tolvar32.bdb";
    std::unique_ptr<File> held =
        f.files.OpenFile(download, FileOpenMode::CreateReadWriteShareReadDelete, error);
    ASSERT_TRUE(held);
    ASSERT_TRUE(held->Write("half", 4, error));
    std::unique_ptr<HeldFolder> hold;
    CleanUpWorkFolder(f.platform, kWork, hold);
    EXPECT_FALSE(f.files.Exists(download));
    EXPECT_FALSE(f.files.IsDirectory(kWork));
}

}  // namespace
}  // namespace mivetrak
