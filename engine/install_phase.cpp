// The worker's second phase: one download into the work folder, followed on the dialog's bar by
// its progress callback, then the installation into every folder that needs it
// (engine/folder_install.h).
#include <optional>
#include <string>
#include <vector>

#include "engine/download_signature.h"
#include "engine/file_metadata.h"
#include "engine/folder_install.h"
#include "engine/install_journal.h"
#include "engine/side_copy.h"
#include "engine/worker_reports.h"
#include "engine/worker_run.h"
#include "net/url.h"
#include "protocol/cancel_flag.h"

namespace mivetrak {
namespace {

// Ends the download with the run's result; always false.
bool Ended(ExitCode& ended, ExitCode result) {
    ended = result;
    return false;
}

const std::string& DownloadUrl(const WorkerRun& run) {
    return run.UsePrimary ? run.PrimaryUrl : run.BackupUrl;
}

// "1048576 bytes in 2500 ms (419430 bytes/s)", for the log.
std::string DescribeTransfer(uint32_t bytes, uint32_t milliseconds) {
    const uint64_t rate =
        static_cast<uint64_t>(bytes) * 1000u / (milliseconds == 0 ? 1 : milliseconds);
    return std::to_string(bytes) + " bytes in " + std::to_string(milliseconds) + " ms (" +
           std::to_string(rate) + " bytes/s)";
}

// Logs why the download in tempPath is not the database, given what the transfer said and the
// size the file has.
void LogUnusableDownload(WorkerRun& run, const std::string& url, bool downloaded, bool sized,
                         uint32_t size) {
    Log& log = run.app.platform.log;
    const uint32_t announced = run.RemoteInfo.contentLength;
    if (sized && (downloaded || size > announced)) {
        // The progress callback stops a body that grows past the length announced.
        log.Write("The download of " + UrlForLog(url) + " has " +
                  (downloaded ? std::to_string(size) : "more") + " bytes instead of the " +
                  std::to_string(announced) + " announced; it is not installed.");
    } else {
        log.Write("The database could not be downloaded from " + UrlForLog(url) + ".");
    }
}

// The download's request: the database into the open work file at tempPath, followed on the
// dialog's bar.
DownloadRequest DatabaseRequest(WorkerRun& run, const std::string& tempPath, File& file) {
    DownloadRequest request;
    request.agent = run.app.deployment.userAgent;
    request.url = DownloadUrl(run);
    request.localPath = tempPath;
    request.localFile = &file;
    request.callback = DownloadProgressCallback;
    request.userData = &run.app;
    return request;
}

// An empty file is no database, whatever the server says: installing it would replace every good
// copy with nothing.
bool AnnouncesADatabase(WorkerRun& run) {
    if (run.RemoteInfo.contentLength != 0) return true;
    run.app.platform.log.Write("The server announces an empty database at " +
                               UrlForLog(DownloadUrl(run)) + "; it is not downloaded.");
    return false;
}

// The work file that receives the download. It stays open until the last folder is installed:
// nobody else may write it meanwhile, and every copy is read through this same handle.
std::unique_ptr<File> OpenWorkFile(WorkerRun& run, const std::string& tempPath) {
    Platform& platform = run.app.platform;
    SystemError error;
    std::unique_ptr<File> file =
        platform.files.OpenFile(tempPath, FileOpenMode::CreateReadWriteShareReadDelete, error);
    if (!file) {
        const std::string url = UrlForLog(DownloadUrl(run));
        platform.log.Write("The download of " + url + " failed: could not make " + tempPath + ": " +
                           DescribeSystemError(platform.system, error.code) + ".");
        platform.log.Write("The database could not be downloaded from " + url + ".");
    }
    return file;
}

// Downloads the database into the open work file and checks its length and signature. True
// when it is ready to install (digest then holds what the signature vouches for, with a key);
// otherwise ended holds the run's result.
bool DownloadDatabase(WorkerRun& run, const std::string& tempPath, File& file,
                      std::optional<Sha256Digest>& digest, ExitCode& ended) {
    WorkerContext& app = run.app;
    auto notInstalled = [&](ExitCode result) {
        if (result == ExitCode::NotObtained) PostAlert(app, AlertDownloadFailed);
        return Ended(ended, result);
    };
    app.lastPostedPercent = 0;
    PostProgress(app, PhaseDownload, 0);
    DownloadRequest request = DatabaseRequest(run, tempPath, file);
    DownloadSignatureCheck signatureCheck(app.platform, app.deployment.publicKey, run.signature);
    request.written = &signatureCheck;
    const uint32_t start = app.platform.system.TickCount();
    const bool downloaded = run.session.DownloadFile(request);
    const uint32_t elapsed = app.platform.system.TickCount() - start;  // wraps like the count
    // A cancel stops the transfer from inside the callback; it is no failure to report.
    if (app.cancel.Raised()) return notInstalled(ExitCode::Stopped);
    uint64_t length = 0;
    const bool sized = file.GetSize(length) && length <= UINT32_MAX;
    const uint32_t size = sized ? static_cast<uint32_t>(length) : 0;
    if (!downloaded || !sized || size != run.RemoteInfo.contentLength) {
        LogUnusableDownload(run, request.url, downloaded, sized, size);
        return notInstalled(ExitCode::NotObtained);
    }
    app.platform.log.Write("Downloaded " + UrlForLog(request.url) + ": " +
                           DescribeTransfer(size, elapsed) + ".");
    if (!signatureCheck.MayBeInstalled(request.url)) return notInstalled(ExitCode::NotObtained);
    digest = signatureCheck.Digest();
    return true;
}

bool AlreadyInstalled(const CodePage& codePage, const std::vector<std::string>& installed,
                      const std::string& folder) {
    for (const std::string& done : installed) {
        if (SameFolder(codePage, done, folder)) return true;
    }
    return false;
}

// Installs the download into every folder of the list, each once. keep tells whether the
// download is to stay in the work folder: when the user declined to try a file in use again,
// or the run has let the worker go (the run's exit clears the folder).
ExitCode InstallEverywhere(WorkerRun& run, const CheckedDownload& download, bool& keep) {
    WorkerContext& app = run.app;
    const std::vector<TargetFolder>& folders = app.TargetFolderList;
    InstallJournal journal(app.platform.files, app.WorkFolder);
    // A folder named twice (or found again by discovery) is installed once: a second copy onto
    // the file just installed could only fail.
    std::vector<std::string> installed;
    keep = true;
    for (size_t i = 0; i < folders.size(); ++i) {
        PostProgress(app, PhaseInstall, static_cast<int>(i * 100 / folders.size()));
        const std::string& folder = folders[i].path;
        if (AlreadyInstalled(app.platform.codePage, installed, folder)) continue;
        // Between two folders nothing is half done: a cancel takes effect here.
        keep = false;
        if (app.cancel.Raised()) return ExitCode::Stopped;
        // Once begun, a folder is finished or put back, even when the run is ending.
        const DiskWork work(app.release);
        keep = !work.Begun();
        if (!work.Begun()) return ExitCode::Stopped;
        switch (InstallIntoFolder(app, journal, folders[i], download)) {
            case FolderInstall::Installed:
                installed.push_back(folder);
                break;
            case FolderInstall::NeedsRights:
                NoteFolderNeedsRights(app, folder,
                                      "its copy needs administrator rights to be updated");
                break;
            case FolderInstall::Declined:
                keep = true;
                return ExitCode::Stopped;
            case FolderInstall::Failed:
                PostAlert(app, AlertInstallFailed);
                return ExitCode::InstallFailed;
        }
    }
    keep = false;
    return app.foldersNeedingRights.empty() ? ExitCode::Done : EndForRights(app);
}

}  // namespace

int DownloadProgressCallback(void* userData, const TransferProgress* progress) {
    auto& app = *static_cast<WorkerContext*>(userData);
    const uint32_t received = progress->totalBytes;
    const uint32_t expected = app.DownloadLength;
    // 64-bit so that a database past 42 MB does not wrap the product.
    const int32_t percent =
        received >= expected
            ? 100
            : static_cast<int32_t>(static_cast<uint64_t>(received) * 100u / expected);

    // More bytes than the server announced: whatever this is, it is not the database.
    if (received > expected) return 0;
    if (app.cancel.Raised()) return 0;
    if (!app.listener->Following()) return 0;

    // A fast link calls back far more often than the bar can move; posting only a new percentage
    // keeps the dialog's message queue short enough for the final alert to find room.
    if (percent != app.lastPostedPercent) {
        app.lastPostedPercent = percent;
        PostProgress(app, PhaseDownload, percent);
    }
    return 1;
}

ExitCode RunInstallPhase(WorkerRun& run) {
    const std::string tempPath = run.app.WorkFolder + kDatabaseFileName;
    if (!AnnouncesADatabase(run)) {
        PostAlert(run.app, AlertDownloadFailed);
        return ExitCode::NotObtained;
    }
    std::unique_ptr<File> file = OpenWorkFile(run, tempPath);
    if (!file) {
        PostAlert(run.app, AlertDownloadFailed);
        return ExitCode::NotObtained;
    }
    ExitCode result = ExitCode::Done;
    std::optional<Sha256Digest> digest;
    bool keep = false;
    if (DownloadDatabase(run, tempPath, *file, digest, result)) {
        const CheckedDownload download{*file, tempPath, run.RemoteInfo.contentLength, digest,
                                       run.RemoteInfo.lastModified};
        result = InstallEverywhere(run, download, keep);
    }
    file.reset();
    SystemError error;
    if (!keep) run.app.platform.files.RemoveFile(tempPath, error);
    if (result == ExitCode::Done) {
        run.app.platform.log.Write("The new database is installed everywhere it was needed.");
        PostProgress(run.app, PhaseDone, 0);
    }
    return result;
}

}  // namespace mivetrak
