#include "app/work_folder.h"

namespace mivetrak {

std::unique_ptr<HeldFolder> HoldWorkFolder(Platform& platform, const std::string& path) {
    FolderFacts facts;
    SystemError error;
    std::unique_ptr<HeldFolder> held = platform.files.HoldFolder(path, facts, error);
    Log& log = platform.log;
    if (!held) {
        log.Write("Could not open the work folder " + path + ": " +
                  DescribeSystemError(platform.system, error.code) + ".");
        return nullptr;
    }
    if (!facts.directory) {
        // A file in the way: the worker could put nothing inside it.
        log.Write("A file stands where the work folder " + path + " belongs.");
        return nullptr;
    }
    if (facts.link) {
        log.Write("The work folder " + path +
                  " is a link (a junction, a symbolic link or another reparse point): nothing is "
                  "written through it. Remove it, and the next run makes the folder anew.");
        return nullptr;
    }
    if (!facts.ownedByThisAccount) {
        log.Write("The work folder " + path +
                  " belongs to another account: nothing is written in it. Remove it, and the "
                  "next run makes the folder anew.");
        return nullptr;
    }
    return held;
}

}  // namespace mivetrak
