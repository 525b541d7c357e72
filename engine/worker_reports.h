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

}  // namespace mivetrak
