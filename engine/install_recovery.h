#pragma once
// What a start does first about an installation that an earlier run did not finish.
#include <string>
#include <vector>

#include "engine/target_folder.h"
#include "platform/platform.h"

namespace mivetrak {

// The name, in the temporary folder, under which a journal that cannot be read is set aside.
constexpr char kSetAsideJournalName[] = "Mivetrak journal set aside.tmp";

// Puts every installation that the journal in the work folder (ending in a backslash) names as
// unfinished back in order: a folder without its database gets the old copy back from its
// backup name (or, without one, the complete new copy from its side name); a new copy left
// beside a complete database is deleted; an old copy under its backup name is deleted only when
// the new copy is in place.
//
// The journal lies where other programs of the user may write, and a run with administrator
// rights reads it: a record is acted on only in one of this run's installation folders
// (folders), on this program's own names there, and a file is put in the database's place only
// when it is what the record says: the very old copy that was moved aside, or a new copy of the
// length (and SHA-256) that was checked before it was written. A record that fails these checks
// is logged and closed; a journal that cannot be read is logged and set aside as setAsidePath.
// Neither ever stops a run.
//
// Returns the folders whose installation could not be put right now (their records stay open
// for the next start, which may have more rights).
std::vector<std::string> RecoverInterruptedInstalls(Platform& platform,
                                                    const std::string& workFolder,
                                                    const std::vector<TargetFolder>& folders,
                                                    const std::string& setAsidePath);

}  // namespace mivetrak
