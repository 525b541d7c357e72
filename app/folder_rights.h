#pragma once
// Whether this run may write in a target folder. Asked by writing, not by deleting: in a folder
// without write rights Wine reports a delete as done and leaves the file, while a new file is
// refused with access denied, as on Windows.
#include <string>
#include <vector>

#include "engine/target_folder.h"
#include "platform/platform.h"

namespace mivetrak {

enum class FolderRights {
    Writable,  // a new file could be made (and was removed again)
    Denied,    // access denied: the user's rights do not reach this folder
    Unknown,   // some other failure, which is not a matter of rights
};

// Makes a new file of the program's own in the folder (a path ending in a backslash) and
// removes it again.
FolderRights ProbeFolderRights(Platform& platform, const std::string& folder);

// The first folder of the list that this run's rights do not reach, or nullptr.
const TargetFolder* FirstFolderDenied(Platform& platform, const std::vector<TargetFolder>& list);

}  // namespace mivetrak
