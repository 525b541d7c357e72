#pragma once
// Builds the target folder list so that each folder is in it once, however many sources name it
// and however they spell it: two paths are one folder when the file system gives them the same
// identity, and only when an identity cannot be read are they compared by their spelling.
#include <optional>
#include <string>
#include <vector>

#include "engine/target_folder.h"
#include "platform/platform.h"

namespace mivetrak {

class TargetFolderCollector {
public:
    // Fills list, which is emptied first.
    TargetFolderCollector(Platform& platform, std::vector<TargetFolder>& list);

    // Adds the folder (a path ending in a backslash) at the end of the list unless the list holds
    // it already. source says where it was found, for the log ("the command line", ...).
    // Returns whether it was added.
    bool Add(const std::string& folder, const std::string& source);

private:
    std::optional<FileIdentity> ReadIdentity(const std::string& folder);
    bool SameAs(const std::string& folder, const std::optional<FileIdentity>& identity,
                size_t index) const;

    Platform& platform_;
    std::vector<TargetFolder>& list_;
    // The identity of each entry of the list, where it could be read.
    std::vector<std::optional<FileIdentity>> identities_;
};

}  // namespace mivetrak
