#pragma once
// An in-memory FileSystem for unit tests.
//
// Paths are matched the way Windows matches them: without regard to ASCII case, '/' taken as
// '\\', trailing backslashes ignored ("C:\\Data\\" and "c:\\data" are the same folder). Adding
// a file or folder also adds every folder above it, so "C:" exists once anything on C: does.
//
// Knobs (all thread-safe; the worker may run on its own thread):
//   AddFile / AddDirectory / SetReadOnly / SetLocked / SetReportedSize / SetNow
//   SetVolumeFileSystem(root, name)  name answered for a volume root ("C:\\"); roots that were
//                                    never set answer "NTFS"; "" behaves as a failing query
//   SetLocked(path[, locked, error]) another process holds the file without read sharing:
//                                    OpenFile, rename, delete and copy from/to it fail with
//                                    error (a sharing violation unless given), while FindFile
//                                    and FileAttributes still report it
//   FailRename(from, times[, error]) MoveFileA of that source fails (times < 0: always)
//   FailCopyTo(to, partialBytes[, error])  a copy to that target (a file created there and
//                                    written) fails: with partialBytes < 0 at once,
//                                    otherwise once that many bytes are written; with error 80
//                                    (file exists) another file of that size takes the name first
//   SetDiskSpace(bytes)              writes and copies beyond the free space fail ("disk full")
//                                    leaving what fitted, and FreeSpace tells it; ClearDiskSpace()
//                                    makes it unlimited (FreeSpace then tells 1 TiB)
//   StopAfter(n)                     a machine that stops: after n more operations that change
//                                    the disk, every operation fails (error 21, "not ready")
//                                    and nothing changes any more; Restart() ends that
//   PowerCut()                       what a power cut leaves: every file holds only what was
//                                    flushed to it (nothing, when it never was); files that were
//                                    added by the test count as flushed. Names (creates, renames,
//                                    deletes) and times are kept.
//   FailDelete(path[, error]) / FailMakeDirectory(path[, error]) /
//   FailRemoveDirectory(path[, error])
//   FailWrite(path)                  File::Write and File::Flush on that file fail
//   ClearDeleteFailure(path)         ends FailDelete
//   DenyWriting(folder)              the user may not write in that folder: creating, opening
//                                    for writing, renaming into or out of, copying into,
//                                    deleting and making folders there fail with 5 (access
//                                    denied), as in Program Files for a standard user
//   KeepDespiteRemoval(path)         RemoveFile / RemoveEmptyDirectory of that path report
//                                    success and leave it, as Wine does in a folder that the
//                                    user may not write
//   FailTimeQuery(path) / FailSizeQuery(path)  GetFileTime / GetFileSize on a handle fail
//   SetIdentity(path, identity)      Identity of that path answers this identity (so that two
//                                    spellings that the fake keeps apart, such as a short name,
//                                    can name one folder); otherwise every entry has its own,
//                                    the same for every spelling that the fake takes as one
//   FailIdentity(path[, error])      Identity of that path fails (access denied unless given)
//   SetTimesNotConvertible(path)     the file's times are not dates: GetTimes answers
//                                    NotConvertible, FindFile reports them as not converted
//   SetTempFolder(path[, result])    GetTempPathA: by default answers path's length; a result
//                                    of 0 or >= 260 fails
//   MakeLink(path) / SetForeignOwner(path)  HoldFolder reports that folder as a link (a junction,
//                                    say), or as owned by another account; a held folder cannot
//                                    be renamed or removed while the hold lasts (32)
// Every failure leaves the number that Windows gives in the SystemError: the scripted one, or for
// the failures that follow from the state of the disk: 2 (file not found) or 3 (path not found)
// for what is missing, 5 (access denied) for a folder or a read-only file, 32 (sharing violation)
// for a file in use, 80 (file exists) for a copy that may not replace, 183 (already exists) for
// a folder or rename target that exists, 145 (folder not empty), 267 (not a folder) and 112
// (disk full).
// A file opened with OpenSharedAppend shares everything: it may be renamed or removed while it is
// open (the handle follows it), and its lock stands only against another such handle's lock,
// which then fails with 33 (lock violation) instead of waiting. BeforeNextLock(action) runs the
// action once, when such a lock is next asked for, before it is taken (for what another process
// does between an open and its lock).
// Inspection: Exists, IsDirectory, Content, Entry, OpenHandleCount, Calls (a log of every call
// in order, e.g. "RenameFile C:\\a -> C:\\b", "FlushFile C:\\a"), Files (the paths of every file
// below a folder), Changes (how many operations changed the disk so far).
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace mivetrak {

class FakeFileSystem : public FileSystem {
public:
    struct Entry {
        std::string path;  // as first added, for messages
        bool isDirectory = false;
        std::string content;
        SystemTime creation;
        SystemTime lastWrite;
        uint32_t attributes = 0;
        bool locked = false;
        uint32_t lockError = kErrorSharingViolation;
        std::optional<uint64_t> reportedSize;  // overrides content.size()
        int openHandles = 0;
        int deleteSharingHandles = 0;  // of the open handles, those that let the file be deleted
        std::string flushed;           // the content as of the last flush: what a power cut leaves
        int sharedHandles = 0;         // handles of OpenSharedAppend, which share everything
        bool appendLockHeld = false;   // by one of them
        uint64_t fileIndex = 0;        // its identity on the volume, once asked for
    };

    FakeFileSystem();
    ~FakeFileSystem() override;

    // --- set-up ---
    void AddFile(const std::string& path, const std::string& content = "",
                 const SystemTime& lastWrite = {}, const SystemTime& creation = {});
    void AddDirectory(const std::string& path);
    void SetReadOnly(const std::string& path, bool readOnly = true);
    void SetLocked(const std::string& path, bool locked = true,
                   uint32_t error = kErrorSharingViolation);
    void SetReportedSize(const std::string& path, uint64_t size);
    void SetNow(const SystemTime& now);  // stamped on files that are created or written
    void SetVolumeFileSystem(const std::string& root, const std::string& name);
    void SetTempFolder(const std::string& path);
    void SetTempFolder(const std::string& path, uint32_t result);

    // --- failures ---
    void FailRename(const std::string& from, int times = -1,
                    uint32_t error = kErrorSharingViolation);
    void FailCopyTo(const std::string& to, int64_t partialBytes = -1,
                    uint32_t error = kErrorDiskFull);
    void SetDiskSpace(uint64_t bytes);
    void ClearDiskSpace();
    void FailDelete(const std::string& path, uint32_t error = kErrorAccessDenied);
    void ClearDeleteFailure(const std::string& path);
    void FailMakeDirectory(const std::string& path, uint32_t error = kErrorAccessDenied);
    void FailRemoveDirectory(const std::string& path, uint32_t error = kErrorAccessDenied);
    void FailWrite(const std::string& path);
    void KeepDespiteRemoval(const std::string& path);
    void DenyWriting(const std::string& folder);
    void FailTimeQuery(const std::string& path);
    void FailSizeQuery(const std::string& path);
    void SetIdentity(const std::string& path, const FileIdentity& identity);
    void BeforeNextLock(std::function<void()> action);
    void FailIdentity(const std::string& path, uint32_t error = kErrorAccessDenied);
    void SetTimesNotConvertible(const std::string& path);
    void MakeLink(const std::string& path);
    void SetForeignOwner(const std::string& path);
    void StopAfter(int changes);
    void Restart();
    void PowerCut();

    // --- inspection ---
    bool Exists(const std::string& path) const;
    bool IsDirectory(const std::string& path) const;
    std::string Content(const std::string& path) const;  // "" when missing
    std::optional<Entry> GetEntry(const std::string& path) const;
    int OpenHandleCount() const;  // over all files
    std::vector<std::string> Calls() const;
    void ClearCalls();
    std::vector<std::string> Files(const std::string& folder) const;
    int Changes() const;

    // --- FileSystem ---
    std::unique_ptr<File> OpenFile(const std::string& path, FileOpenMode mode,
                                   SystemError& error) override;
    std::unique_ptr<SharedAppendFile> OpenSharedAppend(const std::string& path,
                                                       SystemError& error) override;
    std::unique_ptr<HeldFolder> HoldFolder(const std::string& path, FolderFacts& facts,
                                           SystemError& error) override;
    bool FindFile(const std::string& path, FindData& out) override;
    bool VolumeFileSystemName(const std::string& root, std::string& name) override;
    bool FileAttributes(const std::string& path, uint32_t& attributes, SystemError& error) override;
    bool Identity(const std::string& path, FileIdentity& out, SystemError& error) override;
    bool MakeDirectory(const std::string& path, SystemError& error) override;
    bool RemoveEmptyDirectory(const std::string& path, SystemError& error) override;
    bool RemoveFile(const std::string& path, SystemError& error) override;
    bool SetAttributes(const std::string& path, uint32_t attributes, SystemError& error) override;
    bool RenameFile(const std::string& from, const std::string& to, SystemError& error) override;
    bool FreeSpace(const std::string& folder, uint64_t& bytes, SystemError& error) override;
    bool TempFolder(std::string& out) override;

    // The normalised key under which a path is stored.
    static std::string Key(const std::string& path);

private:
    class FakeFile;
    class FakeSharedAppendFile;
    class FakeHeldFolder;
    friend class FakeFile;
    friend class FakeSharedAppendFile;

    void Log(std::string call);
    void AddParents(const std::string& key);
    bool ParentExists(const std::string& key) const;
    bool HasChildren(const std::string& key) const;
    // A new empty file at key, created and written now (lock held).
    std::shared_ptr<Entry> NewFile(const std::string& key, const std::string& path);
    // The folder that holds key is one the user may not write.
    bool WriteDenied(const std::string& key) const;
    std::shared_ptr<Entry> Find(const std::string& path) const;
    // The identity of what the key names: a scripted one, or the entry's own, which stays with
    // it whatever it is renamed to (lock held).
    FileIdentity IdentityOf(const std::string& key, Entry& entry);
    // 2 when the folder above exists, else 3.
    uint32_t MissingError(const std::string& key) const;
    static bool Failed(SystemError& error, uint32_t code);
    static bool Succeeded(SystemError& error);
    // Counts an operation that would change the disk; false when the machine has stopped (the
    // operation must then fail and change nothing). Lock held.
    bool MayChange();
    bool Stopped() const { return stopAt_ >= 0 && changes_ >= stopAt_; }
    // Bytes of data that fit on the disk; consumes them.
    size_t TakeSpace(size_t wanted);

    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<Entry>> entries_;
    std::map<std::string, std::string> volumes_;
    struct RenameFailure {
        int times;
        uint32_t error;
    };
    struct CopyFailure {
        int64_t partialBytes;
        uint32_t error;
    };
    std::map<std::string, RenameFailure> renameFailures_;
    std::map<std::string, CopyFailure> copyFailures_;
    std::map<std::string, uint32_t> deleteFailures_, makeDirFailures_, removeDirFailures_;
    std::map<std::string, uint32_t> identityFailures_;
    std::map<std::string, FileIdentity> identities_;
    std::set<std::string> writeFailures_, timeQueryFailures_, sizeQueryFailures_;
    std::set<std::string> falseRemovals_;
    std::set<std::string> deniedFolders_;
    std::set<std::string> unconvertibleTimes_;
    std::set<std::string> links_, foreignOwners_;
    std::optional<uint64_t> diskSpace_;
    SystemTime now_;
    std::string tempFolder_;
    std::optional<uint32_t> tempResult_;
    std::vector<std::string> calls_;
    int changes_ = 0;
    int stopAt_ = -1;  // the number of changes after which the machine stops; -1: never
    uint64_t nextFileIndex_ = 1;
    std::function<void()> beforeNextLock_;
};

}  // namespace mivetrak
