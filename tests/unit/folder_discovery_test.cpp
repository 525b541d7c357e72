// Folder discovery on 32-bit and 64-bit Windows: both Program Files folders, the App Paths entry
// in both registry views, and each folder kept once however it is spelt.
#include "app/folder_discovery.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/target_folder_collector.h"
#include "fakes/fake_platform.h"
#include "unit/target_folder_paths.h"

namespace mivetrak {
namespace {

using Folders = std::vector<std::string>;
using View = FakeRegistry::View;

const char kAppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tellyra.exe";
const char kCurrentVersion[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kX86[] = "C:\\Program Files (x86)";
const char kNative[] = "C:\\Program Files";
const char kSharedX86[] = "C:\\Program Files (x86)\\Orvanta\\Shared Files\\";
const char kSharedNative[] = "C:\\Program Files\\Orvanta\\Shared Files\\";

// A 64-bit Windows as a 32-bit process sees it: the shell names the x86 folder, the 64-bit
// registry view the native one. Both shared-files folders exist.
void SixtyFourBit(FakePlatform& f) {
    f.system.SetWow64(true);
    f.system.SetProgramFilesFolder(kX86);
    f.registry.SetString(RegistryRoot::LocalMachine, kCurrentVersion, "ProgramFilesDir", kX86,
                         View::Only32);
    f.registry.SetString(RegistryRoot::LocalMachine, kCurrentVersion, "ProgramFilesDir", kNative,
                         View::Only64);
    f.files.AddDirectory(kSharedX86);
    f.files.AddDirectory(kSharedNative);
}

void SiblingIn(FakePlatform& f, const std::string& folder, View view) {
    f.files.AddDirectory(folder);
    f.registry.SetString(RegistryRoot::LocalMachine, kAppPaths, "", folder + "Tellyra.exe", view);
}

struct DiscoveryCase {
    const char* name;
    std::function<void(FakePlatform&)> arrange;
    Folders commandLine;
    Folders expected;
};

const DiscoveryCase kCases[] = {
    {"32-bit Windows: one folder, one view",
     [](FakePlatform& f) {
         f.system.SetProgramFilesFolder(kNative);
         f.files.AddDirectory(kSharedNative);
         SiblingIn(f, "D:\\Tellyra\\", View::Shared);
         // A 32-bit Windows has no second view; nothing asks for it.
         SiblingIn(f, "E:\\Never\\", View::Only64);
     },
     {},
     {kSharedNative, "D:\\Tellyra\\"}},
    {"64-bit Windows: both shared-files folders, x86 first",
     [](FakePlatform& f) { SixtyFourBit(f); },
     {},
     {kSharedX86, kSharedNative}},
    {"64-bit Windows: App Paths in the 32-bit view only",
     [](FakePlatform& f) {
         SixtyFourBit(f);
         SiblingIn(f, "D:\\Tellyra32\\", View::Only32);
     },
     {},
     {kSharedX86, kSharedNative, "D:\\Tellyra32\\"}},
    {"64-bit Windows: App Paths in the 64-bit view only",
     [](FakePlatform& f) {
         SixtyFourBit(f);
         SiblingIn(f, "D:\\Tellyra64\\", View::Only64);
     },
     {},
     {kSharedX86, kSharedNative, "D:\\Tellyra64\\"}},
    {"64-bit Windows: App Paths in both views, two folders",
     [](FakePlatform& f) {
         SixtyFourBit(f);
         SiblingIn(f, "D:\\Tellyra64\\", View::Only64);
         SiblingIn(f, "D:\\Tellyra32\\", View::Only32);
     },
     {},
     {kSharedX86, kSharedNative, "D:\\Tellyra32\\", "D:\\Tellyra64\\"}},
    {"64-bit Windows: one App Paths key seen in both views",
     [](FakePlatform& f) {
         SixtyFourBit(f);
         SiblingIn(f, "D:\\Tellyra\\", View::Shared);
     },
     {},
     {kSharedX86, kSharedNative, "D:\\Tellyra\\"}},
    {"64-bit Windows: the native folder cannot be read",
     [](FakePlatform& f) {
         f.system.SetWow64(true);
         f.system.SetProgramFilesFolder(kX86);
         f.files.AddDirectory(kSharedX86);
         f.files.AddDirectory(kSharedNative);
     },
     {},
     {kSharedX86}},
    {"the environment plays no part",
     [](FakePlatform& f) {
         SixtyFourBit(f);
         f.registry.SetString(RegistryRoot::LocalMachine, kCurrentVersion, "ProgramFilesDir",
                              "D:\\Moved", View::Only64);
         f.files.AddDirectory("D:\\Moved\\Orvanta\\Shared Files");
     },
     {},
     {kSharedX86, "D:\\Moved\\Orvanta\\Shared Files\\"}},
    {"a short name on the command line is the shared-files folder",
     [](FakePlatform& f) {
         SixtyFourBit(f);
         f.files.AddDirectory("C:\\PROGRA~2\\Orvanta\\SHARED~1");
         f.files.SetIdentity("C:\\PROGRA~2\\Orvanta\\SHARED~1", {7, 42});
         f.files.SetIdentity(kSharedX86, {7, 42});
     },
     {"C:\\PROGRA~2\\Orvanta\\SHARED~1\\"},
     {"C:\\PROGRA~2\\Orvanta\\SHARED~1\\", kSharedNative}},
    {"two spellings with the same identity on the command line",
     [](FakePlatform& f) {
         f.system.SetProgramFilesFolder(kNative);
         f.files.AddDirectory("D:\\Db");
         f.files.AddDirectory("D:\\Db\\.");
         f.files.SetIdentity("D:\\Db\\.", {4, 1});
         f.files.SetIdentity("D:\\Db", {4, 1});
     },
     {"D:\\Db\\", "D:\\Db\\.\\", "d:/DB\\"},
     {"D:\\Db\\"}},
    {"identity unreadable: the same spelling is one folder",
     [](FakePlatform& f) {
         f.system.SetProgramFilesFolder(kNative);
         f.files.AddDirectory("D:\\Db");
         f.files.FailIdentity("D:\\Db");
     },
     {"D:\\Db\\", "d:\\db\\"},
     {"D:\\Db\\"}},
};

TEST(FolderDiscovery, FindsEachFolderOnceInEveryViewAndProgramFiles) {
    for (const DiscoveryCase& c : kCases) {
        FakePlatform f;
        c.arrange(f);
        std::vector<TargetFolder> list;
        TargetFolderCollector collector(f.platform, list);
        for (const std::string& folder : c.commandLine) collector.Add(folder, "the command line");
        EXPECT_TRUE(DiscoverInstallationFolders(f.platform, collector)) << c.name;
        EXPECT_EQ(PathsOf(list), c.expected) << c.name;
        // Only a process under WoW64 asks for the 64-bit view.
        for (const FakeRegistry::OpenRecord& open : f.registry.Opens()) {
            EXPECT_TRUE((open.access & kKey64BitView) == 0 || f.system.RunsUnderWow64())
                << c.name << ": " << open.subKey;
        }
        EXPECT_EQ(f.registry.OpenKeyCount(), 0) << c.name;
    }
}

TEST(FolderDiscovery, WithoutAProgramFilesFolderNothingIsSearched) {
    FakePlatform f;
    f.system.SetWow64(true);
    std::vector<TargetFolder> list;
    TargetFolderCollector collector(f.platform, list);
    EXPECT_FALSE(DiscoverInstallationFolders(f.platform, collector));
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(f.registry.Opens().empty());
}

TEST(FolderDiscovery, TheLogSaysWhereEachFolderCameFromAndWhichWasFoundAgain) {
    FakePlatform f;
    SixtyFourBit(f);
    SiblingIn(f, "D:\\Tellyra\\", View::Shared);
    std::vector<TargetFolder> list;
    TargetFolderCollector collector(f.platform, list);
    collector.Add("d:\\tellyra\\", "the command line");
    DiscoverInstallationFolders(f.platform, collector);
    EXPECT_TRUE(
        f.log.Contains("Found the installation folder d:\\tellyra\\ (from the command "
                       "line)."));
    EXPECT_TRUE(f.log.Contains("Found the installation folder " + std::string(kSharedX86) +
                               " (from the shared files under C:\\Program Files (x86))."));
    EXPECT_TRUE(f.log.Contains("Found the installation folder " + std::string(kSharedNative) +
                               " (from the shared files under C:\\Program Files)."));
    EXPECT_TRUE(
        f.log.Contains("Found D:\\Tellyra\\ again (from the App Paths entry of "
                       "Tellyra.exe in the 32-bit registry view): it is the same "
                       "folder as d:\\tellyra\\"));
    EXPECT_TRUE(
        f.log.Contains("in the 64-bit registry view): it is the same folder as "
                       "d:\\tellyra\\"));
}

}  // namespace
}  // namespace mivetrak
