#pragma once
// The installation of the downloaded database into one folder, so that the folder holds a
// complete database at every moment: the new copy is written beside the old one under a side
// name and flushed to disk; only then does the old copy move to its backup name and the new
// one take the database's name, and the backup is deleted. The journal records each step before
// it is taken, so that a later start can finish or undo what a cut-off run left.
#include <optional>
#include <string>

#include "engine/install_journal.h"
#include "engine/release_statement.h"
#include "engine/worker.h"
#include "platform/crypto.h"

namespace mivetrak {

// The download as it was checked: the open work file that holds it, through which every copy is
// made, what it was checked to be, and the time every copy carries.
struct CheckedDownload {
    File& file;
    std::string path;  // for the log
    uint64_t length = 0;
    // With a key: the digest that the maker's signature vouches for.
    std::optional<Sha256Digest> sha256;
    SystemTime stamp;
};

enum class FolderInstall {
    Installed,
    Declined,  // the old copy was in use and the user declined to try again: folder unchanged
    // The account's rights do not reach the folder: its first change was refused with access
    // denied, and the folder is as it was.
    NeedsRights,
    Failed,  // the folder keeps its old copy (or, when even that could not be put back, the
             // journal keeps the record that lets the next start put it back)
};

FolderInstall InstallIntoFolder(WorkerContext& app, InstallJournal& journal,
                                const TargetFolder& folder, const CheckedDownload& download);

}  // namespace mivetrak
