#pragma once
// What a start does first about an installation that an earlier run did not finish.
#include <string>

#include "platform/platform.h"

namespace mivetrak {

// Puts every folder that the journal in the work folder (ending in a backslash) names as
// unfinished back in order: a folder without its database gets the old copy back from its
// backup name (or, without one, the complete new copy from its side name); a new copy left
// beside a complete database is deleted; an old copy under its backup name is deleted only when
// the new copy is in place. Nothing that the journal does not name is touched. A folder that
// cannot be put in order now keeps its record for the next start. False when some folder could
// not be, or the journal could not be read.
bool RecoverInterruptedInstalls(Platform& platform, const std::string& workFolder);

}  // namespace mivetrak
