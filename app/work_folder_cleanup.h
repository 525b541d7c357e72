#pragma once
// The end of the work folder: what the worker left in it and, once it is empty, the folder.
#include <string>

#include "platform/platform.h"

namespace mivetrak {

// Removes the worker's disposable files from workFolder (a path ending in a backslash), except
// those that a later start still needs, then the folder when nothing else is left in it. A
// download that the worker still holds open (with delete sharing) loses its name at once. A removal
// is believed only once the entry is really gone: in a folder without write rights Wine reports a
// delete as done and leaves the file. Every file or folder that stays is logged. hold, the run's
// hold on the folder, is let go before the folder itself is removed.
void CleanUpWorkFolder(Platform& platform, const std::string& workFolder,
                       std::unique_ptr<HeldFolder>& hold);

}  // namespace mivetrak
