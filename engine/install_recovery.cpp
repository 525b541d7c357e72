#include "engine/install_recovery.h"

#include "engine/backup_name.h"
#include "engine/file_digest.h"
#include "engine/file_metadata.h"
#include "engine/folder_install.h"
#include "engine/install_journal.h"
#include "platform/ascii_text.h"

namespace mivetrak {

namespace {

enum class Repair {
    Done,     // the folder is in order
    Failed,   // a step failed (the rights, a file in use): the record stays for the next start
    Refused,  // a file is not what the record says: nothing more is done about the record
};

class Recovery {
public:
    explicit Recovery(Platform& platform) : platform_(platform), files_(platform.files) {}

    // Puts one folder in order.
    Repair Recover(const JournalRecord& record) {
        const bool targetThere = PathExists(files_, record.target);
        const bool sideThere = PathExists(files_, record.side);
        const bool backupThere = !record.backup.empty() && PathExists(files_, record.backup);
        // Before the switch the target was never renamed: only the new copy, perhaps half
        // written, is to go.
        if (!record.switching)
            return !sideThere || Remove(record.side) ? Repair::Done : Repair::Failed;
        if (!targetThere && backupThere) return PutBack(record);
        if (!targetThere && sideThere) return PutNewInPlace(record);
        // The new copy has the name: the old one under the backup name is this program's to
        // delete, as the run would have.
        if (targetThere && !sideThere && backupThere) {
            if (!IsOldCopy(record))
                return Refuse(record.backup, "the old copy that was moved aside");
            if (!Remove(record.backup)) return Repair::Failed;
        }
        return !PathExists(files_, record.side) || Remove(record.side) ? Repair::Done
                                                                       : Repair::Failed;
    }

private:
    // Cut off between the two renames (or a putback that failed): the old copy comes back.
    Repair PutBack(const JournalRecord& record) {
        if (!IsOldCopy(record)) {
            // The file's identity may not have survived its rename (a FAT volume can give it a
            // new one) or may never have been read: the new copy, if it still passes its check,
            // keeps the folder from going without a database.
            if (PathExists(files_, record.side)) return PutNewInPlace(record);
            return Refuse(record.backup, "the old copy that was moved aside");
        }
        if (!Rename(record.backup, record.target)) return Repair::Failed;
        Note("The old database was put back as " + record.target + ".");
        return !PathExists(files_, record.side) || Remove(record.side) ? Repair::Done
                                                                       : Repair::Failed;
    }

    // Without an old copy, the new one, complete since the switch, takes the name.
    Repair PutNewInPlace(const JournalRecord& record) {
        if (!IsCheckedCopy(record)) return Refuse(record.side, "the new copy that was checked");
        if (!Rename(record.side, record.target)) return Repair::Failed;
        Note("The new database was put in place as " + record.target + ".");
        return Repair::Done;
    }

    bool IsOldCopy(const JournalRecord& record) {
        FileIdentity identity;
        SystemError error;
        return record.oldCopy && files_.Identity(record.backup, identity, error) &&
               identity == *record.oldCopy;
    }

    bool IsCheckedCopy(const JournalRecord& record) {
        uint32_t size = 0;
        if (!GetLocalFileSize(files_, record.side, size) || size != record.length) return false;
        if (record.sha256.empty()) return true;
        Sha256Digest digest;
        return FileDigest(platform_, record.side, digest) && DigestText(digest) == record.sha256;
    }

    Repair Refuse(const std::string& path, const char* what) {
        Note(path + " is not " + what +
             " that the installation journal names; it is left as "
             "it is.");
        return Repair::Refused;
    }
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

// The folder of a database path, with its final backslash.
std::string FolderOf(const CodePage& codePage, const std::string& target) {
    const size_t slash = FindLastCharMb(codePage, target, '\\');
    return slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
}

// Whether the record names a database in one of this run's installation folders and this
// program's own names beside it, so that a made-up record cannot have files moved into a
// database's place, or anywhere else.
bool MayActOn(const CodePage& codePage, const JournalRecord& record,
              const std::vector<TargetFolder>& folders) {
    const std::string folder = FolderOf(codePage, record.target);
    if (!EqualsNoCase(record.target.substr(folder.size()), kDatabaseFileName)) return false;
    bool ours = false;
    for (const TargetFolder& candidate : folders) {
        ours = ours || (!folder.empty() && SameFolder(codePage, candidate.path, folder));
    }
    return ours && IsSideName(codePage, record.target, record.side) &&
           (record.backup.empty() || IsBackupName(codePage, record.target, record.backup));
}

void SetAside(Platform& platform, const InstallJournal& journal, const std::string& setAsidePath) {
    SystemError error;
    if (PathExists(platform.files, setAsidePath)) platform.files.RemoveFile(setAsidePath, error);
    if (platform.files.RenameFile(journal.Path(), setAsidePath, error)) {
        platform.log.Write("The installation journal " + journal.Path() +
                           " cannot be read; it is set aside as " + setAsidePath + ".");
        return;
    }
    platform.files.RemoveFile(journal.Path(), error);
    platform.log.Write("The installation journal " + journal.Path() +
                       " cannot be read and cannot be set aside; it is deleted.");
}

}  // namespace

std::vector<std::string> RecoverInterruptedInstalls(Platform& platform,
                                                    const std::string& workFolder,
                                                    const std::vector<TargetFolder>& folders,
                                                    const std::string& setAsidePath) {
    InstallJournal journal(platform.files, workFolder);
    std::vector<JournalRecord> open;
    if (!journal.ReadOpenRecords(open)) {
        SetAside(platform, journal, setAsidePath);
        return {};
    }
    SystemError error;
    // A journal whose records are all done (its removal was cut off) has nothing to tell.
    if (open.empty() && PathExists(platform.files, journal.Path())) {
        platform.files.RemoveFile(journal.Path(), error);
    }
    Recovery recovery(platform);
    std::vector<std::string> unrepaired;
    for (const JournalRecord& record : open) {
        if (!MayActOn(platform.codePage, record, folders)) {
            platform.log.Write("The installation journal names " + QuotedForLog(record.target) +
                               ", " + QuotedForLog(record.side) + " and " +
                               QuotedForLog(record.backup) +
                               ", which are not this program's names in an installation folder "
                               "of this run; nothing is done about them.");
            journal.MarkDone(record);
            continue;
        }
        platform.log.Write("An earlier run left the installation of " + record.target +
                           " unfinished; it is put in order.");
        if (recovery.Recover(record) != Repair::Failed) {
            journal.MarkDone(record);
            continue;
        }
        platform.log.Write("The installation of " + record.target +
                           " stays unfinished until a run with the rights to put it right.");
        unrepaired.push_back(FolderOf(platform.codePage, record.target));
    }
    return unrepaired;
}

}  // namespace mivetrak
