// The in-memory file system behaves as the Windows calls that the program relies on.
#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace mivetrak {
namespace {

TEST(FakeFileSystem, PathsMatchWithoutCaseAndTrailingBackslash) {
    FakeFileSystem fs;
    fs.AddFile("C:\\Data\\Tolvar32.bdb", "abc");
    uint32_t attributes = 0;
    EXPECT_TRUE(fs.FileAttributes("c:\\data\\TOLVAR32.BDB", attributes));
    EXPECT_TRUE(fs.FileAttributes("C:\\Data\\", attributes));
    EXPECT_EQ(attributes & kFileAttributeDirectory, kFileAttributeDirectory);
    EXPECT_TRUE(fs.FileAttributes("C:", attributes));
    EXPECT_FALSE(fs.FileAttributes("C:\\Other", attributes));
}

TEST(FakeFileSystem, LockedFileIsFoundButNotOpened) {
    FakeFileSystem fs;
    SystemTime t;
    t.wYear = 2001;
    fs.AddFile("C:\\a.bdb", "12345", t);
    fs.SetLocked("C:\\a.bdb");
    FindData found;
    ASSERT_TRUE(fs.FindFile("C:\\a.bdb", found));
    EXPECT_EQ(found.size, 5u);
    EXPECT_EQ(found.lastWrite.wYear, 2001);
    EXPECT_EQ(fs.OpenFile("C:\\a.bdb", FileOpenMode::ReadShareRead), nullptr);
    EXPECT_FALSE(fs.RenameFile("C:\\a.bdb", "C:\\b.bdb"));
    EXPECT_FALSE(fs.RemoveFile("C:\\a.bdb"));
}

TEST(FakeFileSystem, CopyKeepsLastWriteAndCanFailPartially) {
    FakeFileSystem fs;
    SystemTime old;
    old.wYear = 1999;
    fs.AddFile("C:\\w\\new.bdb", "0123456789", old);
    fs.AddDirectory("D:\\x");
    ASSERT_TRUE(fs.CopyFileTo("C:\\w\\new.bdb", "D:\\x\\a.bdb", true));
    EXPECT_EQ(fs.GetEntry("D:\\x\\a.bdb")->lastWrite.wYear, 1999);
    EXPECT_FALSE(fs.CopyFileTo("C:\\w\\new.bdb", "D:\\x\\a.bdb", true));  // target exists
    fs.FailCopyTo("D:\\x\\b.bdb", 4);
    EXPECT_FALSE(fs.CopyFileTo("C:\\w\\new.bdb", "D:\\x\\b.bdb", true));
    EXPECT_EQ(fs.Content("D:\\x\\b.bdb"), "0123");
    fs.SetDiskSpace(3);
    EXPECT_FALSE(fs.CopyFileTo("C:\\w\\new.bdb", "D:\\x\\c.bdb", true));
    EXPECT_EQ(fs.Content("D:\\x\\c.bdb"), "012");
}

TEST(FakeFileSystem, RenameFailsAsToldThenSucceeds) {
    FakeFileSystem fs;
    fs.AddFile("C:\\a", "x");
    fs.FailRename("C:\\a", 2);
    EXPECT_FALSE(fs.RenameFile("C:\\a", "C:\\b"));
    EXPECT_FALSE(fs.RenameFile("C:\\a", "C:\\b"));
    EXPECT_TRUE(fs.RenameFile("C:\\a", "C:\\b"));
    EXPECT_EQ(fs.Content("C:\\b"), "x");
    EXPECT_FALSE(fs.Exists("C:\\a"));
}

TEST(FakeFileSystem, WrittenFileAndHandles) {
    FakeFileSystem fs;
    fs.AddDirectory("C:\\w");
    {
        auto file = fs.OpenFile("C:\\w\\f", FileOpenMode::CreateWriteShareRead);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(fs.OpenHandleCount(), 1);
        EXPECT_FALSE(fs.RemoveFile("C:\\w\\f"));
        EXPECT_TRUE(file->Write("abc", 3));
    }
    EXPECT_EQ(fs.OpenHandleCount(), 0);
    EXPECT_EQ(fs.Content("C:\\w\\f"), "abc");
    EXPECT_EQ(fs.OpenFile("C:\\nowhere\\f", FileOpenMode::CreateWriteShareRead), nullptr);
    EXPECT_FALSE(fs.RemoveEmptyDirectory("C:\\w"));
    EXPECT_TRUE(fs.RemoveFile("C:\\w\\f"));
    EXPECT_TRUE(fs.RemoveEmptyDirectory("C:\\w"));
}

TEST(FakeFileSystem, ProfileStringsReadLikeTheIniReader) {
    FakeFileSystem fs;
    fs.AddFile("C:\\zav.tmp",
               "; comment\r\n[Other]\r\nPrimary=wrong\r\n[zavfile]\r\n  PRIMARY = http://a/b \r\n"
               "Backup=\"http://c/d\"\r\n");
    const struct {
        const char* section;
        const char* key;
        size_t bufferSize;
        const char* expected;
    } cases[] = {
        {"ZAVFile", "Primary", 260, "http://a/b"}, {"ZAVFile", "Backup", 260, "http://c/d"},
        {"ZAVFile", "Primary", 5, "http"},         {"ZAVFile", "Missing", 260, "dflt"},
        {"Nothing", "Primary", 260, "dflt"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fs.ReadProfileString(c.section, c.key, "dflt", c.bufferSize, "C:\\zav.tmp"),
                  c.expected)
            << c.section << "/" << c.key << "/" << c.bufferSize;
    }
    EXPECT_EQ(fs.ReadProfileString("ZAVFile", "Primary", "", 260, "C:\\none.tmp"), "");
}

TEST(FakeFileSystem, TempFolderResultCanBeSet) {
    FakeFileSystem fs;
    fs.SetTempFolder("C:\\Temp\\");
    std::string out = "untouched";
    EXPECT_EQ(fs.TempFolder(out), 8u);
    EXPECT_EQ(out, "C:\\Temp\\");
    fs.SetTempFolder("C:\\Temp\\", 300);
    out = "untouched";
    EXPECT_EQ(fs.TempFolder(out), 300u);
    EXPECT_EQ(out, "untouched");
}

TEST(FakeSystem, SleepAdvancesTicksWithoutWaiting) {
    FakeSystem system;
    system.SetTickCount(0xFFFFFF00u);
    system.SleepMilliseconds(1000);
    EXPECT_EQ(system.TickCount(), 1000u - 0x100u);  // wrapped
    system.ScriptTickCounts({5, 7});
    EXPECT_EQ(system.TickCount(), 5u);
    EXPECT_EQ(system.TickCount(), 7u);
    EXPECT_EQ(system.TickCount(), 7u);
    EXPECT_EQ(system.Sleeps(), std::vector<uint32_t>{1000});
}

uint32_t StoreSeven(void* argument) {
    *static_cast<int*>(argument) = 7;
    return 3;
}

TEST(FakeSystem, ThreadsRunOnResumeAndCanBeRefused) {
    FakeSystem system;
    int value = 0;
    auto thread = system.CreateSuspendedThread(&StoreSeven, &value);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(system.ThreadsResumed(), 0);
    ASSERT_TRUE(thread->Resume());
    thread->WaitUntilEnded();
    EXPECT_EQ(value, 7);
    EXPECT_EQ(system.LastThreadResult(), 3u);
    system.RefuseThreads();
    EXPECT_EQ(system.CreateSuspendedThread(&StoreSeven, &value), nullptr);
}

TEST(FakeSystem, ModulesStringsAndIcons) {
    FakeSystem system;
    const ModuleHandle rsl = system.AddModule("Mivetrak.rsl");
    system.SetText("Mivetrak.rsl", 1, "Title");
    system.FailModule("shfolder.dll", 193);
    uint32_t error = 0;
    EXPECT_EQ(system.LoadModule("MIVETRAK.RSL", error), rsl);
    EXPECT_EQ(system.LoadText(rsl, 1), "Title");
    EXPECT_EQ(system.LoadText(rsl, 2), "");
    EXPECT_EQ(system.LoadModule("shfolder.dll", error), nullptr);
    EXPECT_EQ(error, 193u);
    EXPECT_EQ(system.LoadModule("other.dll", error), nullptr);
    EXPECT_EQ(error, kErrorModNotFound);
    system.FreeModule(rsl);
    EXPECT_EQ(system.LoadedCount("Mivetrak.rsl"), 0);
    const IconHandle exeIcon = system.AddIcon("", 128);
    EXPECT_EQ(system.LoadIconResource(nullptr, 128), exeIcon);
    EXPECT_EQ(system.LoadIconResource(rsl, 128), nullptr);
}

TEST(FakeRegistry, ValuesKeysAndWriteAccess) {
    FakeRegistry registry;
    registry.SetString(RegistryRoot::LocalMachine, "Software\\X", "", "C:\\App\\x.exe");
    EXPECT_EQ(registry.OpenKey(RegistryRoot::CurrentUser, "Software\\X", kKeyRead), nullptr);
    auto key = registry.OpenKey(RegistryRoot::LocalMachine, "software\\x", kKeyQueryValue);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(registry.OpenKeyCount(), 1);
    std::vector<uint8_t> data;
    uint32_t type = 0;
    EXPECT_FALSE(key->QueryValue("", 12, data, type));  // 13 bytes with the terminator
    EXPECT_TRUE(key->QueryValue("", 13, data, type));
    EXPECT_EQ(type, kRegSz);
    EXPECT_FALSE(key->SetValue32("v", 1, kRegDword));  // opened for queries only
    key.reset();
    EXPECT_EQ(registry.OpenKeyCount(), 0);
    registry.FailOpen(RegistryRoot::LocalMachine, "Software\\X");
    EXPECT_EQ(registry.OpenKey(RegistryRoot::LocalMachine, "Software\\X", kKeyRead), nullptr);
}

TEST(FakeWindowsUi, RecordsBoxesAndScriptedAnswers) {
    FakePlatform fake;
    fake.ui.ScriptBoxAnswers({kIdNo});
    fake.ui.ScriptSendAnswers({1});
    EXPECT_EQ(fake.platform.ui.ShowMessageBox(nullptr, "q", "c", 0x44), kIdNo);
    EXPECT_EQ(fake.platform.ui.ShowMessageBox(nullptr, "i", "c", 0x40), kIdOk);
    EXPECT_EQ(fake.platform.ui.SendToWindow(nullptr, 1026, 6, 0), 1);
    EXPECT_EQ(fake.platform.ui.SendToWindow(nullptr, 1026, 6, 0), 0);
    ASSERT_EQ(fake.ui.Boxes().size(), 2u);
    EXPECT_EQ(fake.ui.Boxes()[0].flags, 0x44u);
    EXPECT_EQ(fake.ui.Messages().size(), 2u);
}

}  // namespace
}  // namespace mivetrak
