#include "app/folder_discovery.h"

#include "app/path_checks.h"
#include "app/registry_reader.h"

namespace mivetrak {

namespace {

constexpr char kSharedFilesFolder[] = "\\Orvanta\\Shared Files";
constexpr char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr char kProgramFilesValue[] = "ProgramFilesDir";
constexpr char kSiblingAppPathsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tellyra.exe";

void AddSharedFiles(Platform& platform, TargetFolderCollector& collector,
                    const std::string& programFiles) {
    const std::string sharedFiles = programFiles + kSharedFilesFolder;
    if (!PathExists(platform.files, sharedFiles)) {
        platform.log.Write("There is no shared-files folder " + sharedFiles + ".");
        return;
    }
    collector.Add(sharedFiles + "\\", "the shared files under " + programFiles);
}

// The native Program Files folder of 64-bit Windows, as the 64-bit registry view names it. The
// environment is not asked: whoever starts the program chooses what it holds.
void AddNativeSharedFiles(Platform& platform, TargetFolderCollector& collector) {
    RegistryReader reader(platform.registry, kKey64BitView);
    std::string programFiles;
    if (!reader.ReadString(kCurrentVersionKey, kProgramFilesValue, programFiles)) {
        platform.log.Write(std::string("Could not read ") + kProgramFilesValue +
                           " in the 64-bit registry view: the native Program Files folder is "
                           "not searched.");
        return;
    }
    AddSharedFiles(platform, collector, programFiles);
}

// The sibling application's folder: its App Paths entry names the executable.
void AddSiblingFolder(Platform& platform, TargetFolderCollector& collector, uint32_t view) {
    const std::string where = std::string("the App Paths entry of Tellyra.exe in the ") +
                              (view == kKey64BitView ? "64-bit" : "32-bit") + " registry view";
    RegistryReader reader(platform.registry, view);
    std::string executable;
    if (!reader.ReadString(kSiblingAppPathsKey, "", executable)) {
        platform.log.Write("Could not read " + where + ": there is none, or it is no text.");
        return;
    }
    const size_t slash = FindLastCharMb(platform.codePage, executable, '\\');
    const std::string folder =
        slash == std::string::npos ? std::string() : executable.substr(0, slash);
    if (!PathExists(platform.files, folder)) {
        platform.log.Write("The folder of " + executable + " (from " + where + ") does not exist.");
        return;
    }
    collector.Add(WithFinalBackslash(platform.codePage, folder), where);
}

}  // namespace

bool DiscoverInstallationFolders(Platform& platform, TargetFolderCollector& collector) {
    std::string programFiles;
    if (!platform.system.ProgramFilesFolder(programFiles)) {
        platform.log.Write("The shell could not name the Program Files folder.");
        return false;
    }
    const bool wow64 = platform.system.RunsUnderWow64();
    AddSharedFiles(platform, collector, programFiles);
    if (wow64) AddNativeSharedFiles(platform, collector);
    AddSiblingFolder(platform, collector, kKey32BitView);
    if (wow64) AddSiblingFolder(platform, collector, kKey64BitView);
    return true;
}

}  // namespace mivetrak
