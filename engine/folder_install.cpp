#include "engine/folder_install.h"

#include <memory>
#include <vector>

#include "engine/backup_name.h"
#include "engine/side_copy.h"
#include "engine/worker_reports.h"

namespace mivetrak {

namespace {

class FolderInstaller {
public:
    FolderInstaller(WorkerContext& app, InstallJournal& journal)
        : app_(app), platform_(app.platform), files_(app.platform.files), journal_(journal) {}

    FolderInstall Run(const TargetFolder& folder, const CheckedDownload& download) {
        hadDatabase_ = folder.hadDatabase;
        record_.target = folder.path + kDatabaseFileName;
        record_.length = download.length;
        if (download.sha256) record_.sha256 = DigestText(*download.sha256);
        if (!BeginRecord()) return FolderInstall::Failed;
        FolderInstall outcome = FolderInstall::Installed;
        if (!CopyBeside(download, outcome)) return outcome;
        if (!MoveOldCopyAside(outcome)) return GiveUp(outcome);
        if (!PutNewCopyInPlace()) return FolderInstall::Failed;
        DeleteOldCopy();
        return FolderInstall::Installed;
    }

private:
    // Chooses the side and backup names and journals them. Names that an unfinished installation
    // recorded are never reused.
    bool BeginRecord() {
        std::vector<JournalRecord> open;
        if (!journal_.ReadOpenRecords(open)) {
            Note("The installation journal " + journal_.Path() + " cannot be read.");
            return false;
        }
        std::vector<std::string> reserved;
        for (const JournalRecord& earlier : open) {
            reserved.push_back(earlier.side);
            if (!earlier.backup.empty()) reserved.push_back(earlier.backup);
        }
        const CodePage& codePage = platform_.codePage;
        record_.side = ChooseSidePath(files_, codePage, record_.target, reserved);
        record_.backup =
            hadDatabase_ ? ChooseBackupPath(files_, codePage, record_.target, reserved) : "";
        // The old copy by its identity: only that file is ever put back from the backup name.
        FileIdentity oldCopy;
        SystemError error;
        if (hadDatabase_ && files_.Identity(record_.target, oldCopy, error)) {
            record_.oldCopy = oldCopy;
        }
        if (journal_.Begin(record_)) return true;
        JournalNotWritten();
        return false;
    }

    // The new copy beside the old one, flushed to disk, and the journal told that the renames
    // may begin. False with the outcome when it could not be done (the side copy is gone then).
    bool CopyBeside(const CheckedDownload& download, FolderInstall& outcome) {
        outcome = FolderInstall::Failed;
        SystemError error;
        if (!WriteSideCopy(files_, download.file, record_.side, download.stamp, error)) {
            Failure("Could not copy " + download.path + " to " + record_.side, error);
            // Something took the free name since it was chosen: that file is not ours to delete.
            if (error.code == kErrorFileExists) {
                journal_.MarkDone(record_);
                return false;
            }
            if (error.code == kErrorAccessDenied) outcome = FolderInstall::NeedsRights;
            GiveUp(outcome);
            return false;
        }
        Note("Copied " + download.path + " to " + record_.side + ".");
        if (journal_.MarkSwitching(record_)) return true;
        JournalNotWritten();
        GiveUp(outcome);
        return false;
    }

    // The old copy to its backup name, asking whether to try again while another program holds
    // it. False with the outcome (Failed, or Declined) when it stays where it is.
    bool MoveOldCopyAside(FolderInstall& outcome) {
        if (!hadDatabase_) return true;
        SystemError error;
        while (!files_.RenameFile(record_.target, record_.backup, error)) {
            Failure("Could not move " + record_.target + " aside to " + record_.backup, error);
            outcome = error.code == kErrorAccessDenied ? FolderInstall::NeedsRights
                                                       : FolderInstall::Failed;
            // Only a file that another program holds may come free; anything else (access
            // denied above all) fails the same way again however often it is tried.
            if (!IsFileInUse(error.code)) return false;
            outcome = FolderInstall::Declined;
            if (!AskRetryFileBusy(app_, record_.target)) return false;
        }
        Note("Moved " + record_.target + " aside to " + record_.backup + ".");
        return true;
    }

    // The new copy takes the database's name; when it cannot, the old copy is put back.
    bool PutNewCopyInPlace() {
        SystemError error;
        if (files_.RenameFile(record_.side, record_.target, error)) {
            Note("Renamed " + record_.side + " to " + record_.target +
                 ": the new database is in place.");
            return true;
        }
        Failure("Could not rename " + record_.side + " to " + record_.target, error);
        if (hadDatabase_ && !files_.RenameFile(record_.backup, record_.target, error)) {
            // Never a loss: the old copy stays under its backup name, and the journal keeps
            // the record from which the next start puts it back.
            Failure("Could not put " + record_.backup + " back as " + record_.target +
                        "; the next start puts it back",
                    error);
            return false;
        }
        if (hadDatabase_) {
            Note("Put the old copy back: " + record_.backup + " is " + record_.target + " again.");
        }
        GiveUp(FolderInstall::Failed);
        return false;
    }

    void DeleteOldCopy() {
        SystemError error;
        if (hadDatabase_ && !RemoveOwnFile(files_, record_.backup, error)) {
            Failure("Could not delete " + record_.backup + "; the next start deletes it", error);
            return;
        }
        if (hadDatabase_) Note("Deleted the old copy " + record_.backup + ".");
        journal_.MarkDone(record_);
    }

    // The new copy written so far goes; the folder is as it was before.
    FolderInstall GiveUp(FolderInstall outcome) {
        SystemError error;
        if (PathExists(files_, record_.side) && !files_.RemoveFile(record_.side, error)) {
            Failure("Could not delete " + record_.side + "; the next start deletes it", error);
            return outcome;
        }
        journal_.MarkDone(record_);
        return outcome;
    }

    void JournalNotWritten() {
        Note("Could not write the installation journal " + journal_.Path() + "; " + record_.target +
             " is left as it is.");
    }
    void Failure(const std::string& what, const SystemError& error) {
        Note(what + ": " + DescribeSystemError(platform_.system, error.code) + ".");
    }
    void Note(const std::string& sentence) { platform_.log.Write(sentence); }

    WorkerContext& app_;
    Platform& platform_;
    FileSystem& files_;
    InstallJournal& journal_;
    JournalRecord record_;
    bool hadDatabase_ = false;
};

}  // namespace

FolderInstall InstallIntoFolder(WorkerContext& app, InstallJournal& journal,
                                const TargetFolder& folder, const CheckedDownload& download) {
    return FolderInstaller(app, journal).Run(folder, download);
}

}  // namespace mivetrak
