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
#include "engine/worker_reports.h"
#include "engine/worker_run.h"
#include "net/url.h"
#include "protocol/cancel_flag.h"

namespace mivetrak {
namespace {

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

// Downloads the database into tempPath and checks its length and signature. Returns nothing
// when it is ready to install, else the run's result (the temporary file is then gone).
std::optional<WorkerResult> DownloadDatabase(WorkerRun& run, const std::string& tempPath) {
    WorkerContext& app = run.app;
    FileSystem& files = app.platform.files;
    SystemError error;

    // An empty file is no database, whatever the server says: installing it would replace
    // every good copy with nothing.
    if (run.RemoteInfo.contentLength == 0) {
        app.platform.log.Write("The server announces an empty database at " +
                               UrlForLog(DownloadUrl(run)) + "; it is not downloaded.");
        PostAlert(app, AlertDownloadFailed);
        return WorkerResult::NotObtained;
    }
    app.lastPostedPercent = 0;
    PostProgress(app, PhaseDownload, 0);
    DownloadRequest request;
    request.agent = app.deployment.userAgent;
    request.url = DownloadUrl(run);
    request.localPath = tempPath;
    request.callback = DownloadProgressCallback;
    request.userData = &app;
    DownloadSignatureCheck signatureCheck(app.platform, app.deployment.publicKey, run.signature);
    request.written = &signatureCheck;
    Log& log = app.platform.log;
    const uint32_t start = app.platform.system.TickCount();
    const int downloaded = run.session.DownloadFile(request);
    const uint32_t elapsed = app.platform.system.TickCount() - start;  // wraps like the count
    // A cancel stops the transfer from inside the callback; it is no failure to report.
    if (app.cancel.Raised()) {
        files.RemoveFile(tempPath, error);
        return WorkerResult::Stopped;
    }
    uint32_t size = 0;
    const bool sized = GetLocalFileSize(files, tempPath, size) != 0;
    auto notObtained = [&] {
        PostAlert(app, AlertDownloadFailed);
        files.RemoveFile(tempPath, error);
        return WorkerResult::NotObtained;
    };
    if (downloaded == 0 || !sized || size != run.RemoteInfo.contentLength) {
        if (sized && (downloaded != 0 || size > run.RemoteInfo.contentLength)) {
            // The progress callback stops a body that grows past the length announced.
            log.Write("The download of " + UrlForLog(request.url) + " has " +
                      (downloaded != 0 ? std::to_string(size) : "more") + " bytes instead of the " +
                      std::to_string(run.RemoteInfo.contentLength) +
                      " announced; it is not installed.");
        } else {
            log.Write("The database could not be downloaded from " + UrlForLog(request.url) + ".");
        }
        return notObtained();
    }
    log.Write("Downloaded " + UrlForLog(request.url) + ": " + DescribeTransfer(size, elapsed) +
              ".");
    if (!signatureCheck.MayBeInstalled(request.url)) return notObtained();
    // The server's time on the file; the copies carry its last-write time into every folder,
    // where the next run compares it with the server's again.
    SetLocalFileTimes(files, tempPath, &run.RemoteInfo.lastModified, run.RemoteInfo.lastModified);
    return std::nullopt;
}

bool AlreadyInstalled(const CodePage& codePage, const std::vector<std::string>& installed,
                      const std::string& folder) {
    for (const std::string& done : installed) {
        if (SameFolder(codePage, done, folder)) return true;
    }
    return false;
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

WorkerResult RunInstallPhase(WorkerRun& run) {
    WorkerContext& app = run.app;
    Platform& platform = app.platform;
    FileSystem& files = platform.files;
    const CodePage& codePage = platform.codePage;
    SystemError error;

    const std::string tempPath = app.WorkFolder + kDatabaseFileName;
    if (const std::optional<WorkerResult> ended = DownloadDatabase(run, tempPath)) return *ended;

    const std::vector<TargetFolder>& folders = app.TargetFolderList;
    InstallJournal journal(files, app.WorkFolder);
    // A folder named twice (or found again by discovery) is installed once: a second copy onto
    // the file just installed could only fail.
    std::vector<std::string> installed;
    for (size_t i = 0; i < folders.size(); ++i) {
        PostProgress(app, PhaseInstall, static_cast<int>(i * 100 / folders.size()));
        const std::string& folder = folders[i].path;
        if (AlreadyInstalled(codePage, installed, folder)) continue;
        // Between two folders nothing is half done: a cancel takes effect here.
        if (app.cancel.Raised()) {
            files.RemoveFile(tempPath, error);
            return WorkerResult::Stopped;
        }
        // Once begun, a folder is finished or put back, even when the run is ending.
        const DiskWork work(app.release);
        if (!work.Begun()) return WorkerResult::Stopped;
        switch (InstallIntoFolder(app, journal, folders[i], tempPath)) {
            case FolderInstall::Installed:
                break;
            case FolderInstall::Declined:
                // This folder keeps its database, the download stays in the work folder.
                return WorkerResult::Stopped;
            case FolderInstall::Failed:
                PostAlert(app, AlertInstallFailed);
                files.RemoveFile(tempPath, error);
                return WorkerResult::InstallFailed;
        }
        installed.push_back(folder);
    }

    files.RemoveFile(tempPath, error);
    platform.log.Write("The new database is installed everywhere it was needed.");
    PostProgress(app, PhaseDone, 0);
    return WorkerResult::Done;
}

}  // namespace mivetrak
