#pragma once
// The installation of the downloaded database into one folder, so that the folder holds a
// complete database at every moment: the new copy is written beside the old one under a side
// name and flushed to disk; only then does the old copy move to its backup name and the new
// one take the database's name, and the backup is deleted. The journal records each step before
// it is taken, so that a later start can finish or undo what a cut-off run left.
#include <string>

#include "engine/install_journal.h"
#include "engine/worker.h"

namespace mivetrak {

enum class FolderInstall {
    Installed,
    Declined,  // the old copy was in use and the user declined to try again: folder unchanged
    Failed,    // the folder keeps its old copy (or, when even that could not be put back, the
               // journal keeps the record that lets the next start put it back)
};

FolderInstall InstallIntoFolder(WorkerContext& app, InstallJournal& journal,
                                const TargetFolder& folder, const std::string& tempPath);

}  // namespace mivetrak
