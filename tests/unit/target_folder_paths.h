#pragma once
// The paths of a list of target folders, so that tests can compare a list with the paths it
// should hold.
#include <string>
#include <vector>

#include "engine/target_folder.h"

namespace mivetrak {

inline std::vector<std::string> PathsOf(const std::vector<TargetFolder>& folders) {
    std::vector<std::string> paths;
    for (const TargetFolder& folder : folders) paths.push_back(folder.path);
    return paths;
}

}  // namespace mivetrak
