// Start-up and exit of the program: the resource library, the target folders, the work folder
// and the user's consent, before the update run; the clean-up after it.
#include "app/update_app.h"

#include <utility>

#include "app/command_line.h"
#include "app/path_checks.h"
#include "app/registry_reader.h"
#include "engine/cancel_flag.h"
#include "resources/resource_ids.h"

namespace mivetrak {

namespace {
constexpr char kResourceLibraryName[] = "Mivetrak.rsl";
constexpr char kResourceErrorCaption[] = "Error";
constexpr char kSharedFilesFolder[] = "\\Orvanta\\Shared Files";
constexpr char kSiblingAppPathsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tellyra.exe";
constexpr char kWorkFolderName[] = "orzavtmp";

// The text of the box shown when the resource library cannot be loaded: the system's message
// for the error, or, when the system has none, a plain sentence naming the library.
std::string LibraryLoadFailureText(System& system, uint32_t error) {
    std::string text = system.SystemErrorText(error);
    if (text.empty()) {
        text = std::string(kResourceLibraryName) + " could not be loaded (error " +
               std::to_string(error) + ").";
    }
    return text;
}
}  // namespace

UpdateApp::UpdateApp(Platform& p, Deployment d) : platform(p), deployment(std::move(d)) {}

bool UpdateApp::InitInstance() {
    SetupCancelFlag(true);
    ExitCode = 0;
    AppIcon = platform.system.LoadIconResource(nullptr, IDI_PROGRAM);

    if (!LoadResourceLibrary()) {
        ExitCode = 1;
        return false;
    }
    // From here on every text comes from the resource library.
    if (!ReadCommandLine()) return FailStartUp(IDS_STARTUP_FAILED);
    if (!DiscoverFolders()) return FailStartUp(IDS_STARTUP_FAILED);
    if (!ForceUpdate) DropFoldersWithoutDatabase();
    if (TargetFolderList.empty()) return FailStartUp(IDS_NO_FOLDER);
    if (!PrepareWorkFolder()) return FailStartUp(IDS_STARTUP_FAILED);
    if (!UserAgrees()) {
        ExitCode = 2;
        return false;
    }
    RunUpdate();
    return false;
}

int32_t UpdateApp::ExitInstance() {
    ResourceLibraryHandle.Reset();
    // Removes the work folder only when the worker left it empty; the result does not matter.
    SystemError error;
    if (!WorkFolder.empty()) platform.files.RemoveEmptyDirectory(WorkFolder, error);
    SetupCancelFlag(false);
    return ExitCode;
}

bool UpdateApp::LoadResourceLibrary() {
    SystemError error;
    ResourceLibraryHandle.Reset(platform.system.LoadModule(kResourceLibraryName, error));
    if (ResourceLibraryHandle) return true;
    platform.ui.ShowMessageBox(nullptr, LibraryLoadFailureText(platform.system, error.code),
                               kResourceErrorCaption, kBoxOkInformation);
    return false;
}

bool UpdateApp::ReadCommandLine() {
    TargetFolderList.clear();
    UpdateCommandLineInfo commandLineInfo(platform.files, platform.codePage, TargetFolderList,
                                          ForceUpdate);
    ParseCommandLine(platform.codePage, platform.system.RawCommandLine(), commandLineInfo);
    // Bad arguments are dropped without a word as long as one argument named a good folder.
    return !(commandLineInfo.BadParameter && TargetFolderList.empty());
}

bool UpdateApp::DiscoverFolders() {
    FileSystem& files = platform.files;
    const CodePage& codePage = platform.codePage;

    std::string programFiles;
    if (!platform.system.ProgramFilesFolder(programFiles)) return false;
    const std::string sharedFiles = programFiles + kSharedFilesFolder;
    if (PathExists(files, sharedFiles)) TargetFolderList.push_back({sharedFiles + "\\"});

    // The sibling application's folder: its App Paths entry names the executable.
    RegistryReader reader(platform.registry);
    std::string siblingExecutable;
    if (reader.ReadString(kSiblingAppPathsKey, "", siblingExecutable) != 0) {
        const size_t slash = FindLastCharMb(codePage, siblingExecutable, '\\');
        const std::string folder =
            slash == std::string::npos ? std::string() : siblingExecutable.substr(0, slash);
        if (PathExists(files, folder)) {
            TargetFolderList.push_back({WithFinalBackslash(codePage, folder)});
        }
    }
    return true;
}

void UpdateApp::DropFoldersWithoutDatabase() {
    for (size_t i = 0; i < TargetFolderList.size();) {
        if (PathExists(platform.files, TargetFolderList[i].path + kDatabaseFileName)) {
            ++i;
        } else {
            // The entry behind moves up to i and is looked at next.
            TargetFolderList.erase(TargetFolderList.begin() + static_cast<ptrdiff_t>(i));
        }
    }
}

bool UpdateApp::PrepareWorkFolder() {
    FileSystem& files = platform.files;
    // A temporary folder path that does not fit the 260-byte buffer is as unusable as none.
    std::string tempFolder;
    const uint32_t tempLength = files.TempFolder(tempFolder);
    if (tempLength == 0 || tempLength >= kMaxPath) return false;

    WorkFolder = WithFinalBackslash(platform.codePage, tempFolder) + kWorkFolderName;
    uint32_t attributes = 0;
    SystemError error;
    if (!files.FileAttributes(WorkFolder, attributes, error)) {
        if (!files.MakeDirectory(WorkFolder, error)) return false;
    } else if ((attributes & kFileAttributeDirectory) == 0) {
        // A file in the way: the worker could put nothing inside it.
        return false;
    }
    WorkFolder += "\\";
    return true;
}

bool UpdateApp::UserAgrees() {
    return platform.ui.ShowMessageBox(nullptr, Text(IDS_CONFIRM), Text(IDS_CAPTION),
                                      kBoxYesNoInformation) != kIdNo;
}

bool UpdateApp::FailStartUp(uint32_t textId) {
    platform.ui.ShowMessageBox(nullptr, Text(textId), Text(IDS_CAPTION), kBoxOkExclamation);
    ExitCode = 1;
    return false;
}

std::string UpdateApp::Text(uint32_t id) {
    return platform.system.LoadText(ResourceLibraryHandle.Get(), id);
}

}  // namespace mivetrak
