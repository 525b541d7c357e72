#include "app/work_folder_cleanup.h"

#include <algorithm>
#include <vector>

#include "engine/work_files.h"

namespace mivetrak {

namespace {

// After a removal that reported success: whether the entry is really gone.
bool Gone(Platform& platform, const std::string& path) {
    if (!PathExists(platform.files, path)) return true;
    platform.log.Write("Removing " + path + " was reported as done, but it is still there.");
    return false;
}

}  // namespace

void CleanUpWorkFolder(Platform& platform, const std::string& workFolder,
                       std::unique_ptr<HeldFolder>& hold) {
    FileSystem& files = platform.files;
    // Already gone: another run (the one restarted with rights) has cleared it.
    if (!PathExists(files, workFolder)) return;
    SystemError error;
    const std::vector<std::string> kept = WorkFilesStillNeeded(files, workFolder);
    for (const std::string& name : DisposableWorkFiles()) {
        const std::string path = workFolder + name;
        if (!PathExists(files, path)) continue;
        if (std::find(kept.begin(), kept.end(), name) != kept.end()) {
            platform.log.Write(path + " stays: the next start still needs it.");
            continue;
        }
        if (!files.RemoveFile(path, error)) {
            platform.log.Write("Could not remove " + path + ": " +
                               DescribeSystemError(platform.system, error.code) + ".");
            continue;
        }
        if (Gone(platform, path)) platform.log.Write("Removed " + path + ".");
    }
    hold.reset();
    if (!files.RemoveEmptyDirectory(workFolder, error)) {
        platform.log.Write("The work folder " + workFolder +
                           " stays: " + DescribeSystemError(platform.system, error.code) + ".");
        return;
    }
    Gone(platform, workFolder);
}

}  // namespace mivetrak
