#include "engine/work_files.h"

#include "engine/install_journal.h"
#include "engine/target_folder.h"

namespace mivetrak {

std::vector<std::string> DisposableWorkFiles() {
    // The download bears the database's own name in the work folder. A journal with nothing
    // open is of no further use (its last record normally removes it).
    return {kIndexFileName, kDatabaseFileName, kInstallJournalFileName};
}

std::vector<std::string> WorkFilesStillNeeded(FileSystem& files, const std::string& workFolder) {
    InstallJournal journal(files, workFolder);
    std::vector<JournalRecord> open;
    if (journal.ReadOpenRecords(open) && open.empty()) return {};
    return {kInstallJournalFileName};
}

}  // namespace mivetrak
