#pragma once
// Where the suite keeps its database besides the folders named on the command line: the
// shared-files folder under Program Files and the sibling application's folder from its App Paths
// entry. On 64-bit Windows a 32-bit installer uses "Program Files (x86)" and may register the
// sibling in the 32-bit registry view while a 64-bit one uses the native folder and view, so
// both of each are searched there.
#include "app/target_folder_collector.h"
#include "platform/platform.h"

namespace mivetrak {

// Adds, in this order, each folder that exists: the shared-files folder under the Program Files
// folder that the shell names, then under the native one (64-bit Windows only), then the
// sibling application's folder from the 32-bit view, then from the 64-bit view (64-bit Windows
// only). False when the shell cannot name a Program Files folder at all.
bool DiscoverInstallationFolders(Platform& platform, TargetFolderCollector& collector);

}  // namespace mivetrak
