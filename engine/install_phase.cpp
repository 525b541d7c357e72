// The worker's second phase: one download into the work folder, followed on the dialog's bar by
// its progress callback, then the installation into every folder that needs it
// (engine/folder_install.h).
#include <optional>
#include <string>
#include <vector>

#include "engine/download_check.h"
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

// One byte in a mebibyte: what a download leaves free on its drive.
constexpr uint64_t kSpaceKeptFree = 1024 * 1024;

const std::string& DownloadUrl(const WorkerRun& run) {
    return run.UsePrimary ? run.PrimaryUrl : run.BackupUrl;
}

// Where the database may come from: with the maker's statement, from either URL, the backup when
// the primary's bytes do not do; without it, from the one that answered the query.
std::vector<std::string> DownloadUrls(const WorkerRun& run) {
    if (run.statement) return {run.PrimaryUrl, run.BackupUrl};
    return {DownloadUrl(run)};
}

// How one download went.
enum class Fetch { Ready, Stopped, Failed };

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

// The download's request: the database from url into the open work file at tempPath, followed on
// the dialog's bar, held to the statement's length, and to the room on the work folder's drive.
DownloadRequest DatabaseRequest(WorkerRun& run, const std::string& url, const std::string& tempPath,
                                File& file) {
    DownloadRequest request;
    request.agent = run.app.deployment.userAgent;
    request.url = url;
    request.localPath = tempPath;
    request.localFile = &file;
    request.callback = DownloadProgressCallback;
    request.userData = &run.app;
    if (run.statement) request.requiredLength = run.statement->length;
    uint64_t free = 0;
    SystemError error;
    if (run.app.platform.files.FreeSpace(run.app.WorkFolder, free, error)) {
        request.spaceLeft = free > kSpaceKeptFree ? free - kSpaceKeptFree : 0;
    }
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
std::unique_ptr<File> OpenWorkFile(WorkerRun& run, const std::string& url,
                                   const std::string& tempPath) {
    Platform& platform = run.app.platform;
    SystemError error;
    std::unique_ptr<File> file =
        platform.files.OpenFile(tempPath, FileOpenMode::CreateReadWriteShareReadDelete, error);
    if (!file) {
        platform.log.Write("The download of " + UrlForLog(url) + " failed: could not make " +
                           tempPath + ": " + DescribeSystemError(platform.system, error.code) +
                           ".");
        platform.log.Write("The database could not be downloaded from " + UrlForLog(url) + ".");
    }
    return file;
}

// The SHA-256 that the maker's statement gives; none in a program without a key.
std::optional<Sha256Digest> StatedDigest(const WorkerRun& run) {
    if (!run.statement) return std::nullopt;
    return run.statement->sha256;
}

// Downloads the database from url into the open work file and checks its length and, with the
// maker's statement, its SHA-256.
Fetch DownloadDatabase(WorkerRun& run, const std::string& url, const std::string& tempPath,
                       File& file) {
    WorkerContext& app = run.app;
    app.lastPostedPercent = 0;
    PostProgress(app, PhaseDownload, 0);
    DownloadRequest request = DatabaseRequest(run, url, tempPath, file);
    DownloadDigestCheck digestCheck(app.platform, StatedDigest(run));
    request.written = &digestCheck;
    const uint32_t start = app.platform.system.TickCount();
    const bool downloaded = run.session.DownloadFile(request);
    const uint32_t elapsed = app.platform.system.TickCount() - start;  // wraps like the count
    // A cancel stops the transfer from inside the callback; it is no failure to report.
    if (app.cancel.Raised()) return Fetch::Stopped;
    uint64_t length = 0;
    const bool sized = file.GetSize(length) && length <= UINT32_MAX;
    const uint32_t size = sized ? static_cast<uint32_t>(length) : 0;
    if (!downloaded || !sized || size != run.RemoteInfo.contentLength) {
        LogUnusableDownload(run, url, downloaded, sized, size);
        return Fetch::Failed;
    }
    app.platform.log.Write("Downloaded " + UrlForLog(url) + ": " + DescribeTransfer(size, elapsed) +
                           ".");
    return digestCheck.MayBeInstalled(url) ? Fetch::Ready : Fetch::Failed;
}

// The database in the open work file, from the first URL whose bytes do; file is empty when
// none did, result then the run's.
std::unique_ptr<File> ObtainDatabase(WorkerRun& run, const std::string& tempPath,
                                     ExitCode& result) {
    const std::vector<std::string> urls = DownloadUrls(run);
    SystemError error;
    for (size_t i = 0; i < urls.size(); ++i) {
        std::unique_ptr<File> file = OpenWorkFile(run, urls[i], tempPath);
        const Fetch fetch = file ? DownloadDatabase(run, urls[i], tempPath, *file) : Fetch::Failed;
        if (fetch == Fetch::Ready) return file;
        file.reset();
        run.app.platform.files.RemoveFile(tempPath, error);
        if (fetch == Fetch::Stopped) {
            result = ExitCode::Stopped;
            return nullptr;
        }
        if (i + 1 < urls.size()) {
            run.app.platform.log.Write("The database from " + UrlForLog(urls[i]) +
                                       " cannot be used; the backup URL " + UrlForLog(urls[i + 1]) +
                                       " is tried.");
        }
    }
    PostAlert(run.app, AlertDownloadFailed);
    result = ExitCode::NotObtained;
    return nullptr;
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
    ExitCode result = ExitCode::Done;
    std::unique_ptr<File> file = ObtainDatabase(run, tempPath, result);
    if (!file) return result;
    // Every copy carries the release's time into its folder, where the next run compares it
    // again: the statement's, or the server's answer in a program without a key.
    const CheckedDownload download{*file, tempPath, run.RemoteInfo.contentLength, StatedDigest(run),
                                   run.RemoteInfo.lastModified};
    bool keep = false;
    result = InstallEverywhere(run, download, keep);
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
