#include "engine/install_recovery.h"

#include <vector>

#include "engine/backup_name.h"
#include "engine/install_journal.h"
#include "engine/target_folder.h"
#include "platform/ascii_text.h"

namespace mivetrak {

namespace {

class Recovery {
public:
    explicit Recovery(Platform& platform) : platform_(platform), files_(platform.files) {}

    // Puts one folder in order; false when a step failed (the record then stays open).
    bool Recover(const JournalRecord& record) {
        const bool targetThere = PathExists(files_, record.target);
        const bool sideThere = PathExists(files_, record.side);
        const bool backupThere = !record.backup.empty() && PathExists(files_, record.backup);
        // Before the switch the target was never renamed: only the new copy, perhaps half
        // written, is to go.
        if (!record.switching) return !sideThere || Remove(record.side);
        if (!targetThere) {
            // Cut off between the two renames (or a putback that failed): the old copy comes
            // back; without one, the new copy, complete since the switch, takes the name.
            if (backupThere) {
                if (!Rename(record.backup, record.target)) return false;
                Note("The old database was put back as " + record.target + ".");
            } else if (sideThere) {
                if (!Rename(record.side, record.target)) return false;
                Note("The new database was put in place as " + record.target + ".");
                return true;
            }
        } else if (!sideThere && backupThere) {
            // The new copy has the name: the old one under the backup name is this program's
            // to delete, as the run would have.
            if (!Remove(record.backup)) return false;
        }
        return !PathExists(files_, record.side) || Remove(record.side);
    }

private:
    bool Remove(const std::string& path) {
        SystemError error;
        if (RemoveOwnFile(files_, path, error)) return true;
        Note("Could not delete " + path + ": " + DescribeSystemError(platform_.system, error.code));
        return false;
    }
    bool Rename(const std::string& from, const std::string& to) {
        SystemError error;
        if (files_.RenameFile(from, to, error)) return true;
        Note("Could not rename " + from + " to " + to + ": " +
             DescribeSystemError(platform_.system, error.code));
        return false;
    }
    void Note(const std::string& sentence) { platform_.log.Write(sentence); }

    Platform& platform_;
    FileSystem& files_;
};

// The journal lies in the user's temporary folder, where every program of the user may write,
// and a start with administrator rights acts on it: only a record that names a database and this
// program's own names beside it is acted on, so that a made-up record cannot have other files
// moved into a database's place, or anywhere else.
bool NamesOwnFiles(const CodePage& codePage, const JournalRecord& record) {
    const size_t slash = FindLastCharMb(codePage, record.target, '\\');
    if (slash == std::string::npos ||
        !EqualsNoCase(record.target.substr(slash + 1), kDatabaseFileName)) {
        return false;
    }
    return IsSideName(codePage, record.target, record.side) &&
           (record.backup.empty() || IsBackupName(codePage, record.target, record.backup));
}

}  // namespace

bool RecoverInterruptedInstalls(Platform& platform, const std::string& workFolder) {
    InstallJournal journal(platform.files, workFolder);
    std::vector<JournalRecord> open;
    if (!journal.ReadOpenRecords(open)) {
        platform.log.Write("The installation journal " + journal.Path() +
                           " cannot be read; it is kept.");
        return false;
    }
    if (open.empty()) {
        // A journal whose records are all done (its removal was cut off) has nothing to tell.
        SystemError error;
        if (PathExists(platform.files, journal.Path())) {
            platform.files.RemoveFile(journal.Path(), error);
        }
        return true;
    }
    Recovery recovery(platform);
    bool all = true;
    for (const JournalRecord& record : open) {
        if (!NamesOwnFiles(platform.codePage, record)) {
            platform.log.Write("The installation journal names " + QuotedForLog(record.target) +
                               ", " + QuotedForLog(record.side) + " and " +
                               QuotedForLog(record.backup) +
                               ", which are not the names this program gives; nothing is done "
                               "about them.");
            journal.MarkDone(record);
            continue;
        }
        platform.log.Write("An earlier run left the installation of " + record.target +
                           " unfinished; it is put in order.");
        if (recovery.Recover(record)) {
            journal.MarkDone(record);
        } else {
            platform.log.Write("The installation of " + record.target +
                               " stays unfinished until the next start.");
            all = false;
        }
    }
    return all;
}

}  // namespace mivetrak
