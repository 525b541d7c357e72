// The worker's first phase: on line, the update index, the server's copy of the database, and
// the folders whose copy is older than the server's.
#include <cstdio>

#include "engine/file_metadata.h"
#include "engine/work_files.h"
#include "engine/worker_reports.h"
#include "engine/worker_run.h"
#include "net/index_file.h"
#include "net/url.h"
#include "protocol/cancel_flag.h"

namespace mivetrak {
namespace {

// The update index: the section and keys that name the two URLs of the database.
constexpr char kIndexSection[] = "ZAVFile";
constexpr char kPrimaryKey[] = "Primary";
constexpr char kBackupKey[] = "Backup";

// The index is a few lines of INI text; anything past this is not an index and is not kept.
constexpr uint32_t kMaxIndexBytes = 1024 * 1024;

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

// Ends the phase with the run's result; always false.
bool Ended(ExitCode& ended, ExitCode result) {
    ended = result;
    return false;
}

// On line already, or brought on line by the platform's autodial with the dialog as its owner.
bool MakeConnection(WorkerRun& run) {
    Log& log = run.app.platform.log;
    uint32_t connectionFlags = 0;
    if (run.session.CheckConnection(&connectionFlags, false)) {
        log.Write("The connection check finds the machine on line (connection flags " +
                  Hex(connectionFlags) + ").");
        return true;
    }
    log.Write(
        "The connection check finds the machine off line: the system's autodial is asked "
        "to dial.");
    if (!run.session.Dial(run.app.listener->OwnerWindow(), nullptr, nullptr)) return false;
    if (run.session.CheckConnection(&connectionFlags, false)) {
        log.Write("After dialling, the machine is on line (connection flags " +
                  Hex(connectionFlags) + ").");
        return true;
    }
    log.Write("After dialling, the machine is still off line.");
    return false;
}

// Downloads the index into IndexPath. Whatever a failed transfer wrote stays where it is.
bool FetchIndex(WorkerRun& run) {
    DownloadRequest request;
    request.agent = run.app.deployment.userAgent;
    request.url = run.app.deployment.indexUrl;
    request.localPath = run.IndexPath;
    // Reading stops one byte past what an index may hold, so that a larger one is told.
    request.readLimit = kMaxIndexBytes;
    std::optional<int> status;
    const bool fetched = run.session.DownloadFile(request, &status);
    uint32_t size = 0;
    GetLocalFileSize(run.app.platform.files, run.IndexPath, size);
    if (status == 200 && size > kMaxIndexBytes) {
        run.app.platform.log.Write("The update index at " + UrlForLog(request.url) +
                                   " is larger than " + std::to_string(kMaxIndexBytes) +
                                   " bytes: it is no index.");
        return false;
    }
    if (!fetched || status != 200) return false;
    run.app.platform.log.Write("Fetched the update index " + UrlForLog(request.url) +
                               ": HTTP status 200, " + std::to_string(size) + " bytes.");
    return true;
}

// Reads the two URLs and the release statement from the index and deletes it. An index that cannot
// be read names no URL, as one without them does: both queries then fail.
void ReadIndex(WorkerRun& run) {
    Platform& platform = run.app.platform;
    std::string text;
    SystemError error;
    if (ReadSmallFile(platform.files, run.IndexPath, kMaxIndexBytes, text, error)) {
        run.PrimaryUrl = ReadIndexValue(text, kIndexSection, kPrimaryKey);
        run.BackupUrl = ReadIndexValue(text, kIndexSection, kBackupKey);
        IndexStatement& values = run.statementValues;
        for (const auto& [key, value] : {std::pair{"Length", &values.length},
                                         {"Released", &values.released},
                                         {"SHA256", &values.sha256},
                                         {"Expires", &values.expires},
                                         {"Signature", &values.signature}}) {
            *value = ReadIndexValue(text, kIndexSection, key);
        }
    } else {
        platform.log.Write("Could not read the update index " + run.IndexPath + ": " +
                           DescribeSystemError(platform.system, error.code) + ".");
    }
    platform.log.Write("The update index names the primary URL " + UrlForLog(run.PrimaryUrl) +
                       " and the backup URL " + UrlForLog(run.BackupUrl) + ".");
    run.UsePrimary = true;
    platform.files.RemoveFile(run.IndexPath, error);
}

enum class FolderVerdict { Keep, Remove, Stop, Fail };

// Reads the times of the folder's database, asking whether to try again while another program
// holds it. Read and NotConvertible are answers; Failed comes with verdict Stop (the user
// declined to try again) or Fail (any other cause, which trying again would not change).
TimesRead ReadDatabaseTimes(WorkerRun& run, const std::string& database, SystemTime& lastWrite,
                            FolderVerdict& verdict) {
    Platform& platform = run.app.platform;
    SystemTime creation;
    uint64_t size = 0;
    SystemError error;
    for (;;) {
        const TimesRead read = GetLocalFileTimes(platform.files, platform.codePage, database,
                                                 creation, lastWrite, size, &error);
        if (read != TimesRead::Failed) return read;
        if (!IsFileInUse(error.code)) {
            platform.log.Write("Could not read the times of " + database + ": " +
                               DescribeSystemError(platform.system, error.code) + ".");
            verdict = FolderVerdict::Fail;
            return read;
        }
        if (!AskRetryFileBusy(run.app, database)) {
            verdict = FolderVerdict::Stop;
            return read;
        }
    }
}

// Compares the copy's time with the server's: only an older copy is updated.
FolderVerdict CompareWithServer(WorkerRun& run, const std::string& database,
                                const SystemTime& lastWrite) {
    const TimeOrder order = CompareSystemTimes(run.RemoteInfo.lastModified, lastWrite);
    const char* verdict = order == TimeOrder::Later  ? "older: it is updated"
                          : order == TimeOrder::Same ? "the same: it stays as it is"
                                                     : "newer: it stays as it is";
    run.app.platform.log.Write(database + " was written " + DescribeTime(lastWrite) +
                               ", the server's copy " + DescribeTime(run.RemoteInfo.lastModified) +
                               "; this copy is " + verdict + ".");
    return order == TimeOrder::Later ? FolderVerdict::Keep : FolderVerdict::Remove;
}

// Decides about one folder: keep it (noting whether it holds a database) or remove it; Stop when
// its database is in use and the user declined to try again; Fail when it cannot be read for
// any other reason.
FolderVerdict JudgeFolder(WorkerRun& run, TargetFolder& folder) {
    Log& log = run.app.platform.log;
    const std::string database = folder.path + kDatabaseFileName;
    folder.hadDatabase = HoldsDatabase(run.app.platform.files, folder.path);
    if (!folder.hadDatabase) {
        log.Write(folder.path + " holds no " + kDatabaseFileName +
                  " yet: it receives the server's copy.");
        return FolderVerdict::Keep;
    }
    SystemTime lastWrite;
    FolderVerdict verdict = FolderVerdict::Keep;
    switch (ReadDatabaseTimes(run, database, lastWrite, verdict)) {
        case TimesRead::Read:
            return CompareWithServer(run, database, lastWrite);
        case TimesRead::NotConvertible:
            // Asking to try again could never help: the time is what it is. A copy whose age
            // cannot be told is taken for an old one.
            log.Write("The last-write time of " + database +
                      " is not a date; the copy counts as out of date.");
            return FolderVerdict::Keep;
        case TimesRead::Failed:
            break;
    }
    return verdict;
}

// Asks the primary URL, then the backup, for the database's length and time.
bool QueryDatabase(WorkerRun& run, ExitCode& ended) {
    WorkerContext& app = run.app;
    const std::string& agent = app.deployment.userAgent;
    if (run.session.QueryRemoteFile(agent, run.PrimaryUrl, run.RemoteInfo)) return true;
    app.platform.log.Write("The primary database URL " + UrlForLog(run.PrimaryUrl) +
                           " did not answer the query; the backup URL is asked.");
    run.UsePrimary = false;
    if (app.cancel.Raised()) return Ended(ended, ExitCode::Stopped);
    if (run.session.QueryRemoteFile(agent, run.BackupUrl, run.RemoteInfo)) return true;
    app.platform.log.Write("The backup database URL " + UrlForLog(run.BackupUrl) +
                           " did not answer the query either.");
    PostAlert(app, AlertServerUnavailable);
    return Ended(ended, ExitCode::NotObtained);
}

// In a program with the maker's key, the release statement stands for the server's answer: its
// length and time are what the folders are judged by, and no query is sent.
bool AcceptStatement(WorkerRun& run, ExitCode& ended) {
    WorkerContext& app = run.app;
    Platform& platform = app.platform;
    const StatementCheck check = CheckStatement(platform.crypto, *app.deployment.publicKey,
                                                run.statementValues, platform.system.UtcTime());
    platform.log.Write(DescribeStatementCheck(platform.system, check, run.statementValues));
    if (check.verdict != StatementVerdict::Good) {
        PostAlert(app, AlertServerUnavailable);
        return Ended(ended, ExitCode::NotObtained);
    }
    run.statement = check.statement;
    run.RemoteInfo.contentLength = check.statement.length;
    run.RemoteInfo.lastModified = check.statement.released;
    return true;
}

// What the server offers: what the maker's statement says, or the server's own answer.
bool LearnRelease(WorkerRun& run, ExitCode& ended) {
    return run.app.deployment.publicKey ? AcceptStatement(run, ended) : QueryDatabase(run, ended);
}

// Removes from the list every folder whose copy is not older than the server's.
bool PruneFolders(WorkerRun& run, ExitCode& ended) {
    std::vector<TargetFolder>& folders = run.app.TargetFolderList;
    size_t j = 0;
    while (j < folders.size()) {
        if (folders[j].repairPending) {
            NoteFolderNeedsRights(run.app, folders[j].path,
                                  "an earlier run left its installation unfinished, and "
                                  "administrator rights are needed to put it right");
            folders.erase(folders.begin() + static_cast<std::ptrdiff_t>(j));
            continue;
        }
        switch (JudgeFolder(run, folders[j])) {
            case FolderVerdict::Keep:
                ++j;
                break;
            case FolderVerdict::Remove:
                // The entry behind moves up to j and is judged next.
                folders.erase(folders.begin() + static_cast<std::ptrdiff_t>(j));
                break;
            case FolderVerdict::Stop:
                return Ended(ended, ExitCode::Stopped);
            case FolderVerdict::Fail:
                // A database that cannot be read cannot be replaced either.
                PostAlert(run.app, AlertInstallFailed);
                return Ended(ended, ExitCode::InstallFailed);
        }
    }
    return true;
}

// On line, the index fetched and read.
bool ReachIndex(WorkerRun& run, ExitCode& ended) {
    WorkerContext& app = run.app;
    if (!MakeConnection(run)) {
        app.platform.log.Write("No Internet connection can be made.");
        PostAlert(app, AlertNoConnection);
        return Ended(ended, ExitCode::NotObtained);
    }
    if (app.cancel.Raised()) return Ended(ended, ExitCode::Stopped);
    PostProgress(app, PhaseCheck, 20);

    run.IndexPath = app.WorkFolder + kIndexFileName;
    if (!FetchIndex(run)) {
        app.platform.log.Write("The update index could not be fetched from " +
                               UrlForLog(app.deployment.indexUrl) +
                               "; the server counts as unavailable.");
        PostAlert(app, AlertServerUnavailable);
        return Ended(ended, ExitCode::NotObtained);
    }
    PostProgress(app, PhaseCheck, 50);
    ReadIndex(run);
    return true;
}

}  // namespace

bool RunCheckPhase(WorkerRun& run, ExitCode& ended) {
    WorkerContext& app = run.app;
    if (!ReachIndex(run, ended)) return false;
    if (app.cancel.Raised()) return Ended(ended, ExitCode::Stopped);
    if (!LearnRelease(run, ended)) return false;
    PostProgress(app, PhaseCheck, 80);
    app.DownloadLength = run.RemoteInfo.contentLength;
    if (app.cancel.Raised()) return Ended(ended, ExitCode::Stopped);
    if (!PruneFolders(run, ended)) return false;
    if (app.cancel.Raised()) return Ended(ended, ExitCode::Stopped);
    if (!app.TargetFolderList.empty()) return true;
    if (!app.foldersNeedingRights.empty()) return Ended(ended, EndForRights(app));
    app.platform.log.Write("No installation needs the update.");
    PostAlert(app, AlertUpToDate);
    return Ended(ended, ExitCode::Done);
}

}  // namespace mivetrak
