#pragma once
// The worker's messages to the progress dialog. The dialog's window is read afresh for each one:
// with no window nothing is posted, and the question counts as declined.
#include "engine/worker.h"
#include "ui/protocol.h"

namespace mivetrak {

void PostProgress(WorkerContext& app, ProgressPhase phase, int percent);
void PostAlert(WorkerContext& app, AlertCode code);
// Asks whether to try a file in use again and waits for the answer: true for "retry".
bool AskRetryFileBusy(WorkerContext& app);

}  // namespace mivetrak
