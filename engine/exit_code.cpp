#include "engine/exit_code.h"

namespace mivetrak {

const char* ExitCodeMeaning(ExitCode code) {
    switch (code) {
        case ExitCode::Done:
            return "done, or nothing to do";
        case ExitCode::StartFailed:
            return "the run could not start";
        case ExitCode::Stopped:
            return "declined or stopped";
        case ExitCode::NotObtained:
            return "the update was not obtained";
        case ExitCode::InstallFailed:
            return "the installation failed";
    }
    // Only a run with administrator rights hands over a code of its own.
    return "the exit code of the run with administrator rights";
}

}  // namespace mivetrak
