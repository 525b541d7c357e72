// Start-up and exit of the program: the resource library, the target folders, the work folder
// and the user's consent, before the update run; the clean-up after it.
#include "app/update_app.h"

#include <utility>

#include "app/command_line.h"
#include "app/compiled_deployment.h"
#include "app/folder_discovery.h"
#include "app/path_checks.h"
#include "app/target_folder_collector.h"
#include "app/work_folder.h"
#include "app/work_folder_cleanup.h"
#include "engine/install_recovery.h"
#include "resources/resource_ids.h"

namespace mivetrak {

namespace {
constexpr char kResourceLibraryName[] = "Mivetrak.rsl";
constexpr char kResourceErrorCaption[] = "Error";
constexpr char kWorkFolderName[] = "orzavtmp";

// The text of the box shown when the resource library cannot be loaded: the system's message
// for the error, or, when the system has none, a plain sentence naming the library.
std::string LibraryLoadFailureText(System& system, uint32_t error) {
    std::string text;
    if (!system.SystemErrorText(error, text) || text.empty()) {
        text = std::string(kResourceLibraryName) + " could not be loaded (error " +
               std::to_string(error) + ").";
    }
    return text;
}

// The program's exit codes; the application object's field of that name holds one.
using Exit = ExitCode;
}  // namespace

UpdateApp::UpdateApp(Platform& p, Deployment d) : platform(p), deployment(std::move(d)) {}

bool UpdateApp::InitInstance() {
    ExitCode = Exit::Done;
    StartLog();
    AppIcon = platform.system.LoadIconResource(nullptr, IDI_PROGRAM);
    if (!PrepareRun() || !CollectFolders()) return false;
    if (!options_.restarted && !UserAgrees()) {
        ExitCode = Exit::Stopped;
        return false;
    }
    UpdateWithTheRightsNeeded();
    return false;
}

bool UpdateApp::PrepareRun() {
    if (!LoadResourceLibrary()) {
        ExitCode = Exit::StartFailed;
        return false;
    }
    // From here on every text comes from the resource library.
    if (options_.showUsage) {
        ShowUsage();
        return false;
    }
    // Nobody follows a silent run: the worker reports to the log alone.
    if (options_.silent) worker.listener = &silentListener;
    if (!TakeRunLocks()) {
        ExitCode = Exit::StartFailed;
        return false;
    }
    return true;
}

bool UpdateApp::CollectFolders() {
    if (!ReadCommandLine()) {
        return FailStartUp(IDS_STARTUP_FAILED, "no argument names a folder that can be used");
    }
    if (!DiscoverFolders()) {
        return FailStartUp(IDS_STARTUP_FAILED, "the Program Files folder cannot be found");
    }
    if (!PrepareWorkFolder()) {
        return FailStartUp(IDS_STARTUP_FAILED, "the work folder cannot be used");
    }
    // Before anything looks for the database in the folders: one that a cut-off run left
    // without its database must not be taken for a folder without one.
    RepairInterruptedInstallation();
    if (!ForceUpdate) DropFoldersWithoutDatabase();
    if (TargetFolderList.empty()) {
        return FailStartUp(IDS_NO_FOLDER, "no installation folder holds the database");
    }
    return true;
}

ExitCode UpdateApp::ExitInstance() {
    ResourceLibraryHandle.Reset();
    // Whatever the outcome, nothing of the run stays behind in the work folder; a run that has
    // handed the folder on leaves it to the run that has it, and one that no longer holds it
    // (it was found changed) leaves it alone.
    if (!WorkFolder.empty() && runLocks_.HoldsWorkFolder() && workFolderHold_) {
        CleanUpWorkFolder(platform, WorkFolder, workFolderHold_);
    }
    platform.log.Write("The run ends with exit code " +
                       std::to_string(static_cast<int32_t>(ExitCode)) + ": " +
                       ExitCodeMeaning(ExitCode) + ".");
    // A worker left running may still touch the work folder: the run locks go with the process,
    // which ends right after this.
    if (!WorkerLeftRunning) runLocks_.Release();
    return ExitCode;
}

void UpdateApp::StartLog() {
    const std::string commandLine = platform.system.RawCommandLine();
    options_ = ReadRunOptions(commandLine);
    platform.log.Write("Mivetrak " + CompiledVersion() + " starts" +
                       (options_.silent ? " in silent mode" : "") +
                       ". Its command line: " + commandLine);
    // The log's file lies in the temporary folder, beside the work folder; the lines written so
    // far wait for it.
    std::string tempFolder;
    if (TempFolderPath(tempFolder)) platform.log.StartFileIn(tempFolder);
    CheckHandOver();
}

void UpdateApp::ShowUsage() {
    // A silent run keeps its word even here: a box would wait for a user who is not there.
    if (options_.silent) {
        platform.log.Write(
            "The command line asks how to use the program, which a silent run does not show; "
            "nothing else is done.");
        return;
    }
    platform.log.Write(
        "The command line asks how to use the program: that is shown, and nothing "
        "else is done.");
    platform.ui.ShowMessageBox(nullptr, Text(IDS_USAGE), Text(IDS_CAPTION), kBoxOkInformation);
}

bool UpdateApp::TakeRunLocks() {
    SystemError error;
    if (runLocks_.Take(options_.restarted, error)) return true;
    const std::string cause = "Another run of the program is going (" +
                              DescribeSystemError(platform.system, error.code) + ")";
    // A silent run has no window to point at, and brings no other to the front either.
    if (options_.silent) {
        platform.log.Write(cause + ": this run ends.");
        return false;
    }
    platform.log.Write(cause + ": its window is brought to the front and this run ends.");
    platform.ui.BringToFront(Text(IDS_CAPTION));
    return false;
}

bool UpdateApp::LoadResourceLibrary() {
    SystemError error;
    ResourceLibraryHandle.Reset(platform.system.LoadResourceModule(kResourceLibraryName, error));
    if (ResourceLibraryHandle) return true;
    platform.log.Write(
        std::string("Could not load ") + kResourceLibraryName +
        " from the program's folder: " + DescribeSystemError(platform.system, error.code) + ".");
    if (options_.silent) return false;
    platform.ui.ShowMessageBox(nullptr, LibraryLoadFailureText(platform.system, error.code),
                               kResourceErrorCaption, kBoxOkInformation);
    return false;
}

bool UpdateApp::ReadCommandLine() {
    TargetFolderList.clear();
    UpdateCommandLineInfo commandLineInfo(platform.files, platform.codePage, platform.log,
                                          TargetFolderList, ForceUpdate);
    ParseCommandLine(platform.codePage, platform.system.RawCommandLine(), commandLineInfo);
    // Bad arguments are dropped without a word as long as one argument named a good folder.
    return !(commandLineInfo.BadParameter && TargetFolderList.empty());
}

bool UpdateApp::DiscoverFolders() {
    // The command line's folders come first, in their order; each folder is kept once.
    std::vector<TargetFolder> named;
    named.swap(TargetFolderList);
    TargetFolderCollector collector(platform, TargetFolderList);
    for (const TargetFolder& folder : named) collector.Add(folder.path, "the command line");
    return DiscoverInstallationFolders(platform, collector);
}

void UpdateApp::DropFoldersWithoutDatabase() {
    for (size_t i = 0; i < TargetFolderList.size();) {
        const TargetFolder& folder = TargetFolderList[i];
        // A folder whose installation waits to be put right stays, database or not.
        if (folder.repairPending || HoldsDatabase(platform.files, folder.path)) {
            ++i;
            continue;
        }
        platform.log.Write(folder.path + " holds no " + kDatabaseFileName + ": it is left out.");
        // The entry behind moves up to i and is looked at next.
        TargetFolderList.erase(TargetFolderList.begin() + static_cast<ptrdiff_t>(i));
    }
}

bool UpdateApp::TempFolderPath(std::string& path) {
    // A temporary folder path that does not fit the 260-byte buffer is as unusable as none.
    std::string tempFolder;
    if (!platform.files.TempFolder(tempFolder)) return false;
    path = WithFinalBackslash(platform.codePage, tempFolder);
    return true;
}

bool UpdateApp::WorkFolderPath(std::string& path) {
    if (!TempFolderPath(path)) return false;
    path += kWorkFolderName;
    return true;
}

void UpdateApp::RepairInterruptedInstallation() {
    std::string tempFolder;
    TempFolderPath(tempFolder);
    const std::vector<std::string> unrepaired = RecoverInterruptedInstalls(
        platform, WorkFolder, TargetFolderList, tempFolder + kSetAsideJournalName);
    for (TargetFolder& folder : TargetFolderList) {
        for (const std::string& pending : unrepaired) {
            if (SameFolder(platform.codePage, folder.path, pending)) folder.repairPending = true;
        }
    }
}

bool UpdateApp::PrepareWorkFolder() {
    std::string path;
    if (!WorkFolderPath(path)) {
        platform.log.Write("The system names no temporary folder that fits " +
                           std::to_string(kMaxPath) + " bytes.");
        return false;
    }
    FileSystem& files = platform.files;
    uint32_t attributes = 0;
    SystemError error;
    if (!files.FileAttributes(path, attributes, error) && !files.MakeDirectory(path, error)) {
        platform.log.Write("Could not make the work folder " + path + ": " +
                           DescribeSystemError(platform.system, error.code) + ".");
        return false;
    }
    workFolderHold_ = HoldWorkFolder(platform, path);
    if (!workFolderHold_) return false;
    WorkFolder = path + "\\";
    return true;
}

bool UpdateApp::UserAgrees() {
    if (options_.silent) {
        platform.log.Write("A silent run asks no question: the update goes ahead.");
        return true;
    }
    const bool agreed = platform.ui.ShowMessageBox(nullptr, Text(IDS_CONFIRM), Text(IDS_CAPTION),
                                                   kBoxYesNoInformation) != kIdNo;
    platform.log.Write(agreed ? "The user agreed to the update." : "The user declined the update.");
    return agreed;
}

bool UpdateApp::FailStartUp(uint32_t textId, const std::string& reason) {
    platform.log.Write("The run cannot start: " + reason + ".");
    if (!options_.silent) {
        platform.ui.ShowMessageBox(nullptr, Text(textId), Text(IDS_CAPTION), kBoxOkExclamation);
    }
    ExitCode = Exit::StartFailed;
    return false;
}

std::string UpdateApp::Text(uint32_t id) {
    // A text the library lacks shows as nothing.
    std::string text;
    platform.system.LoadText(ResourceLibraryHandle.Get(), id, text);
    return text;
}

}  // namespace mivetrak
