#include "engine/folder_install.h"

#include <memory>
#include <vector>

#include "engine/backup_name.h"
#include "engine/worker_reports.h"

namespace mivetrak {

namespace {

class FolderInstaller {
public:
    FolderInstaller(WorkerContext& app, InstallJournal& journal)
        : app_(app), platform_(app.platform), files_(app.platform.files), journal_(journal) {}

    FolderInstall Run(const TargetFolder& folder, const std::string& tempPath) {
        record_.target = folder.path + kDatabaseFileName;
        // Names that an unfinished installation recorded are never reused.
        std::vector<JournalRecord> open;
        std::vector<std::string> reserved;
        if (!journal_.ReadOpenRecords(open)) {
            Note("The installation journal " + journal_.Path() + " cannot be read.");
            return FolderInstall::Failed;
        }
        for (const JournalRecord& earlier : open) {
            reserved.push_back(earlier.side);
            if (!earlier.backup.empty()) reserved.push_back(earlier.backup);
        }
        const CodePage& codePage = platform_.codePage;
        record_.side = ChooseSidePath(files_, codePage, record_.target, reserved);
        record_.backup =
            folder.hadDatabase ? ChooseBackupPath(files_, codePage, record_.target, reserved) : "";
        if (!journal_.Begin(record_)) {
            JournalNotWritten();
            return FolderInstall::Failed;
        }

        SystemError error;
        if (!files_.CopyFileTo(tempPath, record_.side, true, error)) {
            Failure("Could not copy " + tempPath + " to " + record_.side, error);
            // Something took the free name since it was chosen: that file is not ours to delete.
            if (error.code == kErrorFileExists) {
                journal_.MarkDone(record_);
                return FolderInstall::Failed;
            }
            return GiveUp(FolderInstall::Failed);
        }
        if (!FlushToDisk(record_.side, error)) {
            Failure("Could not flush " + record_.side + " to disk", error);
            return GiveUp(FolderInstall::Failed);
        }
        Note("Copied " + tempPath + " to " + record_.side + ".");
        if (!journal_.MarkSwitching(record_)) {
            JournalNotWritten();
            return GiveUp(FolderInstall::Failed);
        }

        if (folder.hadDatabase) {
            while (!files_.RenameFile(record_.target, record_.backup, error)) {
                Failure("Could not move " + record_.target + " aside to " + record_.backup, error);
                // Only a file that another program holds may come free; anything else (access
                // denied above all) fails the same way again however often it is tried.
                if (!IsFileInUse(error.code)) return GiveUp(FolderInstall::Failed);
                if (!AskRetryFileBusy(app_, record_.target)) return GiveUp(FolderInstall::Declined);
            }
            Note("Moved " + record_.target + " aside to " + record_.backup + ".");
        }
        if (!files_.RenameFile(record_.side, record_.target, error)) {
            Failure("Could not rename " + record_.side + " to " + record_.target, error);
            if (folder.hadDatabase && !files_.RenameFile(record_.backup, record_.target, error)) {
                // Never a loss: the old copy stays under its backup name, and the journal keeps
                // the record from which the next start puts it back.
                Failure("Could not put " + record_.backup + " back as " + record_.target +
                            "; the next start puts it back",
                        error);
                return FolderInstall::Failed;
            }
            if (folder.hadDatabase) {
                Note("Put the old copy back: " + record_.backup + " is " + record_.target +
                     " again.");
            }
            return GiveUp(FolderInstall::Failed);
        }
        Note("Renamed " + record_.side + " to " + record_.target +
             ": the new database is in place.");
        if (folder.hadDatabase && !RemoveOwnFile(files_, record_.backup, error)) {
            Failure("Could not delete " + record_.backup + "; the next start deletes it", error);
            return FolderInstall::Installed;
        }
        if (folder.hadDatabase) Note("Deleted the old copy " + record_.backup + ".");
        journal_.MarkDone(record_);
        return FolderInstall::Installed;
    }

private:
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

    // A copy is not on disk until it has been flushed through a handle opened for writing.
    bool FlushToDisk(const std::string& path, SystemError& error) {
        std::unique_ptr<File> file = files_.OpenFile(path, FileOpenMode::ReadWriteShareRead, error);
        return file && file->Flush();
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
};

}  // namespace

FolderInstall InstallIntoFolder(WorkerContext& app, InstallJournal& journal,
                                const TargetFolder& folder, const std::string& tempPath) {
    return FolderInstaller(app, journal).Run(folder, tempPath);
}

}  // namespace mivetrak
