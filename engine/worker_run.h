#pragma once
// The working state of one run of UpdateWorker and the two phases it is made of. Shared by the
// thread entry and the phases; not part of the engine's public face.
#include <optional>
#include <string>

#include "engine/release_statement.h"
#include "engine/worker.h"
#include "net/internet_session.h"
#include "net/transfer.h"

namespace mivetrak {

struct WorkerRun {
    WorkerContext& app;
    InternetSession& session;
    std::string IndexPath;
    std::string PrimaryUrl;
    std::string BackupUrl;
    bool UsePrimary = false;
    RemoteFileInfo RemoteInfo;
    // The maker's release statement as the index gives it, and, in a program with the maker's
    // key once it has verified, what it says.
    IndexStatement statementValues;
    std::optional<ReleaseStatement> statement;
};

// Check phase, from the connection test to the pruned folder list. True when the download is to
// follow; otherwise ended holds the run's result.
bool RunCheckPhase(WorkerRun& run, ExitCode& ended);
// Download and installation. Returns the run's result.
ExitCode RunInstallPhase(WorkerRun& run);

}  // namespace mivetrak
