// Placeholder definitions so that the tree links while this file is being written.
#include "engine/worker.h"

namespace mivetrak {
int UpdateWorker(WorkerContext&) { return 0; }
uint32_t WorkerThreadProc(void* app) {
    auto* context = static_cast<WorkerContext*>(app);
    context->ExitCode = UpdateWorker(*context);
    return 0;
}
int DownloadProgressCallback(void*, const TransferProgress*) { return 0; }
}  // namespace mivetrak
