#pragma once
// Whoever follows a run of the worker: the progress dialog when a user is there, or, in a silent
// run, nobody but the log. The worker reports its progress and its alerts to it, asks it its one
// question, and learns from it whether anyone still follows the run.
#include <string>

#include "platform/types.h"
#include "protocol/worker_messages.h"

namespace mivetrak {

class WorkerListener {
public:
    virtual ~WorkerListener() = default;
    virtual void Progress(ProgressPhase phase, int percent) = 0;
    virtual void Alert(AlertCode code) = 0;
    // May the file at path, which another program holds, be tried again? Waits for the answer.
    virtual bool RetryFileInUse(const std::string& path) = 0;
    // The window that owns the system's dialling dialog; null when there is none.
    virtual WindowHandle OwnerWindow() = 0;
    // Whether the run is still followed: false once the dialog has gone, after which a download
    // is not worth finishing.
    virtual bool Following() = 0;
    // Whether a user is there to answer the system's own questions, such as its password prompt.
    virtual bool UserPresent() = 0;
};

}  // namespace mivetrak
