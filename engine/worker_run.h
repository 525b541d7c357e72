#pragma once
// The working state of one run of UpdateWorker and the steps it is made of. Shared by the check
// phase, the download and install phase and the thread entry; not part of the engine's public face.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/cancel_flag.h"
#include "engine/worker.h"
#include "net/internet_session.h"
#include "net/transfer.h"

namespace mivetrak {

// File names inside the work folder and the installation folders.
constexpr const char kIndexFileName[] = "zav.tmp";
constexpr const char kIndexSection[] = "ZAVFile";
constexpr const char kPrimaryKey[] = "Primary";
constexpr const char kBackupKey[] = "Backup";

// The index is a few lines of INI text; anything past this is not an index and is not kept.
constexpr uint32_t kMaxIndexBytes = 1024 * 1024;

struct WorkerRun {
    WorkerContext& app;
    InternetSession& session;
    std::string IndexPath;
    std::string PrimaryUrl;
    std::string BackupUrl;
    bool UsePrimary = false;
    RemoteFileInfo RemoteInfo;
};

// Messages to the dialog. The window is read afresh for each; with no window nothing is posted
// and the question counts as declined.
void PostProgress(WorkerContext& app, int phase, int percent);
void PostAlert(WorkerContext& app, int code);
bool AskRetryFileBusy(WorkerContext& app);

// Check phase, from the connection test to the pruned folder list. Returns nothing when the
// download is to follow, else the run's result.
std::optional<WorkerResult> RunCheckPhase(WorkerRun& run);
// Download and installation. Returns the run's result.
WorkerResult RunInstallPhase(WorkerRun& run);

// The backup number search gives up here; the rename to a name that exists then fails and the
// user is asked as for a locked file.
constexpr int kMaxBackupNumber = 0x7FFFFFFF;

// The first free backup name for target ("%stmp%d.tmp" on the path up to its last '.').
std::string ChooseBackupPath(FileSystem& files, const CodePage& codePage,
                             const std::string& target);
// The candidate backup name number n for target.
std::string BackupCandidate(const CodePage& codePage, const std::string& target, int n);

// The index fetch's progress callback: stops a transfer that grows past kMaxIndexBytes.
int IndexProgressCallback(void* userData, const TransferProgress* progress);

}  // namespace mivetrak
