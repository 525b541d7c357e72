#pragma once
// Files, folders and the temporary folder, as the portable logic sees them.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/system_error.h"
#include "platform/types.h"

namespace mivetrak {

// The ways the program opens a file (CreateFileA's access, share mode and disposition). The
// modes that create or write a file never write through a link: a symbolic link or other
// reparse point at the path is opened itself (FILE_FLAG_OPEN_REPARSE_POINT), not what it leads
// to.
enum class FileOpenMode {
    ReadShareRead,       // GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING
    ReadWriteShareRead,  // GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING
    // GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, CREATE_ALWAYS (handle
    // not inherited): nobody else may write the file while it is open; it can be deleted, and
    // goes when its last handle closes, but what this handle reads stays what it wrote.
    CreateReadWriteShareReadDelete,
    CreateNewWriteShareRead,  // GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW: fails when it exists
    AppendShareRead           // GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS; writes go to the end
};

// What a file's times could be read as.
enum class TimesRead {
    Read,           // the times asked for are stored
    Failed,         // the system could not tell them
    NotConvertible  // the system told them, but not as dates it can convert
};

// An open file. Destroying it closes the handle.
class File {
public:
    virtual ~File() = default;
    // GetFileTime, each converted by FileTimeToSystemTime; a null pointer is not asked for.
    // Nothing is stored unless the result is Read.
    virtual TimesRead GetTimes(SystemTime* creation, SystemTime* lastWrite) = 0;
    // SetFileTime: creation may be null (left unchanged); last access is never changed.
    virtual bool SetTimes(const SystemTime* creation, const SystemTime& lastWrite) = 0;
    // GetFileSize with the high word: false when the system cannot tell the size.
    virtual bool GetSize(uint64_t& size) = 0;
    // ReadFile of up to size bytes from where the last read ended; bytesRead 0 at the end.
    virtual bool Read(void* buffer, uint32_t size, uint32_t& bytesRead, SystemError& error) = 0;
    // WriteFile of all the bytes; false when they could not all be written.
    virtual bool Write(const void* data, size_t size, SystemError& error) = 0;
    virtual bool Flush() = 0;
    // Moves the position to the start of the file, where the next read begins.
    virtual bool SeekToStart() = 0;
};

// What a folder is, as read through a handle on the folder itself, never on what a link at its
// path leads to.
struct FolderFacts {
    bool directory = false;
    // A symbolic link, a junction or another reparse point.
    bool link = false;
    // Its owner is the account this process runs as (its user, or the owner that the account
    // gives what it makes).
    bool ownedByThisAccount = false;
};

// A folder held open: while the hold lasts, nobody can rename, move or delete it, so that a path
// inside it keeps naming the folder that was looked at.
class HeldFolder {
public:
    virtual ~HeldFolder() = default;
};

// What a directory search (FindFirstFileA, FindClose) reports of one entry.
struct FindData {
    SystemTime creation;
    SystemTime lastWrite;
    uint64_t size = 0;
    // False when the entry's times are not dates the system can convert; the two times are
    // then not set.
    bool timesConverted = true;
};

constexpr uint32_t kFileAttributeReadOnly = 0x1;
constexpr uint32_t kFileAttributeDirectory = 0x10;

// What makes a file or folder itself, whatever path names it (a short name, '/' for a backslash,
// a "." part, another case): the volume's serial number and the file index on that volume.
struct FileIdentity {
    uint32_t volumeSerial = 0;
    uint64_t fileIndex = 0;
};
inline bool operator==(const FileIdentity& a, const FileIdentity& b) {
    return a.volumeSerial == b.volumeSerial && a.fileIndex == b.fileIndex;
}

// A file that several processes append to at once, such as the run's log. Destroying it
// releases its lock and closes the handle.
class SharedAppendFile {
public:
    virtual ~SharedAppendFile() = default;
    // Takes the lock that every appender of the file holds around its appends: exclusive, on one
    // agreed byte far beyond any end the file can reach (LockFileEx), waiting a little while for
    // another holder to let it go. Without it, appends of two processes land on each other.
    virtual bool Lock(SystemError& error) = 0;
    // The identity of the file that this handle has open, wherever it has been renamed to.
    virtual bool Identity(FileIdentity& out, SystemError& error) = 0;
    virtual bool GetSize(uint64_t& size) = 0;
    // One WriteFile of all the bytes, at the end of the file.
    virtual bool Append(const std::string& bytes, SystemError& error) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The operations below that take a SystemError leave the system's error number in it.

    // CreateFileA in the given mode; null when the open fails.
    virtual std::unique_ptr<File> OpenFile(const std::string& path, FileOpenMode mode,
                                           SystemError& error) = 0;
    // Opens the file for appending, making it when it does not exist (OPEN_ALWAYS), with every
    // sharing mode: others may append, read, and rename or delete it while it is open.
    virtual std::unique_ptr<SharedAppendFile> OpenSharedAppend(const std::string& path,
                                                               SystemError& error) = 0;
    // Opens the folder itself (FILE_FLAG_OPEN_REPARSE_POINT, FILE_FLAG_BACKUP_SEMANTICS) for
    // listing, sharing reading and writing but not deletion, and reads what it is into facts;
    // null when it cannot be opened.
    virtual std::unique_ptr<HeldFolder> HoldFolder(const std::string& path, FolderFacts& facts,
                                                   SystemError& error) = 0;
    // FindFirstFileA then FindClose; false when nothing is found.
    virtual bool FindFile(const std::string& path, FindData& out) = 0;
    // GetVolumeInformationA asking only for the file-system name; false when the query fails.
    virtual bool VolumeFileSystemName(const std::string& root, std::string& name) = 0;
    // GetFileAttributesA; false when it fails (nothing at the path, or no access to it).
    virtual bool FileAttributes(const std::string& path, uint32_t& attributes,
                                SystemError& error) = 0;
    // The identity of a file or folder (GetFileInformationByHandle on a handle opened for its
    // attributes only, with FILE_FLAG_BACKUP_SEMANTICS so that a folder opens too).
    virtual bool Identity(const std::string& path, FileIdentity& out, SystemError& error) = 0;

    virtual bool MakeDirectory(const std::string& path,
                               SystemError& error) = 0;  // CreateDirectoryA
    virtual bool RemoveEmptyDirectory(const std::string& path,
                                      SystemError& error) = 0;                 // RemoveDirectoryA
    virtual bool RemoveFile(const std::string& path, SystemError& error) = 0;  // DeleteFileA
    virtual bool SetAttributes(const std::string& path, uint32_t attributes,
                               SystemError& error) = 0;  // SetFileAttributesA
    virtual bool RenameFile(const std::string& from, const std::string& to,
                            SystemError& error) = 0;  // MoveFileA

    // GetDiskFreeSpaceExA: the bytes free for this account on the drive that holds the folder.
    virtual bool FreeSpace(const std::string& folder, uint64_t& bytes, SystemError& error) = 0;
    // GetTempPathA into a 260-byte buffer: the path, or false when the system names none or one
    // that does not fit the buffer.
    virtual bool TempFolder(std::string& out) = 0;
};

// Something (a file or a folder) is at the path: its attributes can be read.
bool PathExists(FileSystem& files, const std::string& path);

// The whole content of a file of at most maxBytes bytes, read through a handle that lets others
// read. False when the file cannot be opened or read, with the system's error number, or when it
// holds more than maxBytes bytes, with kErrorFileTooLarge; out is then left as it was.
bool ReadSmallFile(FileSystem& files, const std::string& path, size_t maxBytes, std::string& out,
                   SystemError& error);

}  // namespace mivetrak
