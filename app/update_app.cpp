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

UpdateApp::~UpdateApp() {
    // ExitInstance normally frees the library; this covers an object that never got there.
    if (ResourceLibraryHandle != nullptr) {
        platform.system.FreeModule(ResourceLibraryHandle);
        ResourceLibraryHandle = nullptr;
    }
}

bool UpdateApp::InitInstance() {
    System& system = platform.system;
    FileSystem& files = platform.files;
    const CodePage& codePage = platform.codePage;

    SetupCancelFlag(true);
    ExitCode = 0;
    AppIcon = system.LoadIconResource(nullptr, IDI_PROGRAM);

    uint32_t error = 0;
    ResourceLibraryHandle = system.LoadModule(kResourceLibraryName, error);
    if (ResourceLibraryHandle == nullptr) {
        platform.ui.ShowMessageBox(nullptr, LibraryLoadFailureText(system, error),
                                   kResourceErrorCaption, kBoxOkInformation);
        ExitCode = 1;
        return false;
    }
    // From here on every text comes from the resource library.
    auto text = [&](uint32_t id) { return system.LoadText(ResourceLibraryHandle, id); };

    TargetFolderList.clear();
    UpdateCommandLineInfo commandLineInfo(files, codePage, TargetFolderList, ForceUpdate);
    ParseCommandLine(codePage, system.RawCommandLine(), commandLineInfo);

    const std::string caption = text(IDS_CAPTION);
    auto fail = [&](uint32_t id) {
        platform.ui.ShowMessageBox(nullptr, text(id), caption, kBoxOkExclamation);
        ExitCode = 1;
        return false;
    };

    // Bad arguments are dropped without a word as long as one argument named a good folder.
    if (commandLineInfo.BadParameter && TargetFolderList.empty()) {
        return fail(IDS_STARTUP_FAILED);
    }

    std::string programFiles;
    if (!system.ProgramFilesFolder(programFiles)) return fail(IDS_STARTUP_FAILED);

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

    // Only folders that hold the database stay, unless the update is forced.
    if (!ForceUpdate) {
        for (size_t i = 0; i < TargetFolderList.size();) {
            if (PathExists(files, TargetFolderList[i].path + kDatabaseFileName)) {
                ++i;
            } else {
                TargetFolderList.erase(TargetFolderList.begin() + static_cast<ptrdiff_t>(i));
            }
        }
    }
    if (TargetFolderList.empty()) return fail(IDS_NO_FOLDER);

    // A temporary folder path that does not fit the 260-byte buffer is as unusable as none.
    std::string tempFolder;
    const uint32_t tempLength = files.TempFolder(tempFolder);
    if (tempLength == 0 || tempLength >= kMaxPath) return fail(IDS_STARTUP_FAILED);

    WorkFolder = WithFinalBackslash(codePage, tempFolder) + kWorkFolderName;
    uint32_t attributes = 0;
    if (!files.FileAttributes(WorkFolder, attributes)) {
        if (!files.MakeDirectory(WorkFolder)) return fail(IDS_STARTUP_FAILED);
    } else if ((attributes & kFileAttributeDirectory) == 0) {
        // A file in the way: the worker could put nothing inside it.
        return fail(IDS_STARTUP_FAILED);
    }
    WorkFolder += "\\";

    if (platform.ui.ShowMessageBox(nullptr, text(IDS_CONFIRM), caption, kBoxYesNoInformation) ==
        kIdNo) {
        ExitCode = 2;
        return false;
    }

    RunUpdate();
    return false;
}

int32_t UpdateApp::ExitInstance() {
    if (ResourceLibraryHandle != nullptr) {
        platform.system.FreeModule(ResourceLibraryHandle);
        ResourceLibraryHandle = nullptr;
    }
    // Removes the work folder only when the worker left it empty; the result does not matter.
    if (!WorkFolder.empty()) platform.files.RemoveEmptyDirectory(WorkFolder);
    SetupCancelFlag(false);
    return ExitCode;
}

}  // namespace mivetrak
