#pragma once
// The worker's reports to whoever follows its run (protocol/worker_listener.h).
#include <string>

#include "engine/worker.h"
#include "protocol/worker_messages.h"

namespace mivetrak {

void PostProgress(WorkerContext& app, ProgressPhase phase, int percent);
void PostAlert(WorkerContext& app, AlertCode code);
// Asks whether to try the file at path, which is in use, again, and waits for the answer: true
// for "retry".
bool AskRetryFileBusy(WorkerContext& app, const std::string& path);

// Notes a folder that needs the update and that the account's rights do not reach.
void NoteFolderNeedsRights(WorkerContext& app, const std::string& folder, const std::string& why);
// Ends a run that left folders to administrator rights: a run that may ask for them closes its
// dialog without a box, for the program to start again with them; any other run reports a
// failed installation. Gives the run's result.
ExitCode EndForRights(WorkerContext& app);

}  // namespace mivetrak
