#pragma once
// What a run comes to: the worker's result and the process's exit code are one and the same.
#include <cstdint>

namespace mivetrak {

enum class ExitCode : int32_t {
    Done = 0,           // installed everywhere it was needed, or nothing to do
    StartFailed = 1,    // the run could not start
    Stopped = 2,        // the user declined, cancelled, or declined to retry a file in use
    NotObtained = 3,    // no connection, no index, no database, or a bad download
    InstallFailed = 4,  // a copy into a folder failed; that folder got its old copy back
};

// What the code says, for the log's last line.
const char* ExitCodeMeaning(ExitCode code);

}  // namespace mivetrak
