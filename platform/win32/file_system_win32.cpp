// Files, folders and the temporary folder on kernel32.
#include <cstring>
#include <limits>

#include "platform/win32/folder_hold.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

namespace mivetrak {

namespace {

// The outcome of a call that reports failure through GetLastError.
bool Report(BOOL succeeded, SystemError& error) {
    error.code = succeeded ? 0 : GetLastError();
    return succeeded != FALSE;
}

// The volume and the file index of an open file: the same for every name it has.
bool IdentityOf(HANDLE handle, FileIdentity& out, SystemError& error) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!Report(GetFileInformationByHandle(handle, &information), error)) return false;
    out.volumeSerial = information.dwVolumeSerialNumber;
    out.fileIndex =
        (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return true;
}

bool ToSystemTime(const FILETIME& fileTime, SystemTime& out) {
    SYSTEMTIME converted;
    if (!FileTimeToSystemTime(&fileTime, &converted)) return false;
    out = FromWin32(converted);
    return true;
}

class Win32File final : public File {
public:
    explicit Win32File(HANDLE handle) : handle_(handle) {}

    TimesRead GetTimes(SystemTime* creation, SystemTime* lastWrite) override {
        FILETIME created{};
        FILETIME accessed{};
        FILETIME written{};
        if (!GetFileTime(handle_.Get(), &created, &accessed, &written)) return TimesRead::Failed;
        SystemTime createdOut;
        SystemTime writtenOut;
        if ((creation != nullptr && !ToSystemTime(created, createdOut)) ||
            (lastWrite != nullptr && !ToSystemTime(written, writtenOut))) {
            return TimesRead::NotConvertible;
        }
        if (creation != nullptr) *creation = createdOut;
        if (lastWrite != nullptr) *lastWrite = writtenOut;
        return TimesRead::Read;
    }

    bool SetTimes(const SystemTime* creation, const SystemTime& lastWrite) override {
        // A time that does not convert is not stamped: an uninitialised FILETIME would put an
        // arbitrary date on the file.
        FILETIME created{};
        FILETIME written{};
        if (creation != nullptr) {
            const SYSTEMTIME c = ToWin32(*creation);
            if (!SystemTimeToFileTime(&c, &created)) return false;
        }
        const SYSTEMTIME w = ToWin32(lastWrite);
        if (!SystemTimeToFileTime(&w, &written)) return false;
        return SetFileTime(handle_.Get(), creation != nullptr ? &created : nullptr, nullptr,
                           &written) != 0;
    }

    bool GetSize(uint64_t& size) override {
        DWORD high = 0;
        SetLastError(NO_ERROR);
        const DWORD low = GetFileSize(handle_.Get(), &high);
        if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
        size = (static_cast<uint64_t>(high) << 32) | low;
        return true;
    }

    bool Read(void* buffer, uint32_t size, uint32_t& bytesRead, SystemError& error) override {
        DWORD read = 0;
        const BOOL ok = ReadFile(handle_.Get(), buffer, size, &read, nullptr);
        bytesRead = ok ? static_cast<uint32_t>(read) : 0;
        return Report(ok, error);
    }

    bool Write(const void* data, size_t size, SystemError& error) override {
        const char* bytes = static_cast<const char*>(data);
        error.code = 0;
        while (size > 0) {
            const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!WriteFile(handle_.Get(), bytes, chunk, &written, nullptr)) {
                error.code = GetLastError();
                return false;
            }
            if (written == 0) {
                error.code = ERROR_WRITE_FAULT;
                return false;
            }
            bytes += written;
            size -= written;
        }
        return true;
    }

    bool Flush() override { return FlushFileBuffers(handle_.Get()) != 0; }

    bool SeekToStart() override {
        LARGE_INTEGER start{};
        return SetFilePointerEx(handle_.Get(), start, nullptr, FILE_BEGIN) != 0;
    }

private:
    KernelHandle handle_;
};

// The byte that every appender of a shared file locks around its appends: far beyond any end a
// file reaches, so that the lock never stands in the way of the data.
constexpr DWORD kAppendLockOffsetLow = 0xFFFFFFF0u;
constexpr DWORD kAppendLockOffsetHigh = 0x7FFFFFFFu;
// The lock is held for one write at a time; a holder that keeps it longer is stuck, and waiting
// for it without a limit would stop this program too.
constexpr DWORD kAppendLockWaitMilliseconds = 2000;

OVERLAPPED AppendLockPosition() {
    OVERLAPPED position{};
    position.Offset = kAppendLockOffsetLow;
    position.OffsetHigh = kAppendLockOffsetHigh;
    return position;
}

class Win32SharedAppendFile final : public SharedAppendFile {
public:
    explicit Win32SharedAppendFile(HANDLE handle) : handle_(handle) {}
    ~Win32SharedAppendFile() override {
        if (!locked_) return;
        OVERLAPPED position = AppendLockPosition();
        UnlockFileEx(handle_.Get(), 0, 1, 0, &position);
    }
    Win32SharedAppendFile(const Win32SharedAppendFile&) = delete;
    Win32SharedAppendFile& operator=(const Win32SharedAppendFile&) = delete;

    bool Lock(SystemError& error) override {
        const DWORD start = GetTickCount();
        for (;;) {
            OVERLAPPED position = AppendLockPosition();
            if (LockFileEx(handle_.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                           0, &position)) {
                locked_ = true;
                return Report(TRUE, error);
            }
            const DWORD code = GetLastError();
            if (code != ERROR_LOCK_VIOLATION ||
                GetTickCount() - start >= kAppendLockWaitMilliseconds) {
                error.code = code;
                return false;
            }
            Sleep(1);
        }
    }

    bool Identity(FileIdentity& out, SystemError& error) override {
        return IdentityOf(handle_.Get(), out, error);
    }

    bool GetSize(uint64_t& size) override {
        LARGE_INTEGER length{};
        if (!GetFileSizeEx(handle_.Get(), &length)) return false;
        size = static_cast<uint64_t>(length.QuadPart);
        return true;
    }

    bool Append(const std::string& bytes, SystemError& error) override {
        if (bytes.size() > std::numeric_limits<DWORD>::max()) return Report(FALSE, error);
        DWORD written = 0;
        if (!Report(WriteFile(handle_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                              &written, nullptr),
                    error)) {
            return false;
        }
        return written == bytes.size();
    }

private:
    KernelHandle handle_;
    bool locked_ = false;
};

class Win32FileSystem final : public FileSystem {
public:
    std::unique_ptr<File> OpenFile(const std::string& path, FileOpenMode mode,
                                   SystemError& error) override {
        DWORD access = GENERIC_READ;
        DWORD disposition = OPEN_EXISTING;
        DWORD sharing = FILE_SHARE_READ;
        switch (mode) {
            case FileOpenMode::ReadShareRead:
                break;
            case FileOpenMode::ReadWriteShareRead:
                access = GENERIC_READ | GENERIC_WRITE;
                break;
            case FileOpenMode::CreateReadWriteShareReadDelete:
                access = GENERIC_READ | GENERIC_WRITE;
                disposition = CREATE_ALWAYS;
                sharing = FILE_SHARE_READ | FILE_SHARE_DELETE;
                break;
            case FileOpenMode::CreateNewWriteShareRead:
                access = GENERIC_WRITE;
                disposition = CREATE_NEW;
                break;
            case FileOpenMode::AppendShareRead:
                access = GENERIC_WRITE;
                disposition = OPEN_ALWAYS;
                break;
        }
        // What the program makes or writes is never reached through a link.
        const DWORD flags =
            FILE_ATTRIBUTE_NORMAL | (access == GENERIC_READ ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
        // No security attributes: the handle is not inherited by child processes.
        const HANDLE handle =
            CreateFileA(path.c_str(), access, sharing, nullptr, disposition, flags, nullptr);
        if (!Report(handle != INVALID_HANDLE_VALUE, error)) return nullptr;
        auto file = std::make_unique<Win32File>(handle);
        if (mode == FileOpenMode::AppendShareRead) {
            LARGE_INTEGER none{};
            if (!Report(SetFilePointerEx(handle, none, nullptr, FILE_END), error)) return nullptr;
        }
        return file;
    }

    std::unique_ptr<SharedAppendFile> OpenSharedAppend(const std::string& path,
                                                       SystemError& error) override {
        // Appending only: without the right to write data in place, every write goes to the end
        // of the file. Reading is asked for too, because a byte-range lock needs read or write
        // data access on Windows.
        const HANDLE handle = CreateFileA(path.c_str(), FILE_APPEND_DATA | GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (!Report(handle != INVALID_HANDLE_VALUE, error)) return nullptr;
        return std::make_unique<Win32SharedAppendFile>(handle);
    }

    std::unique_ptr<HeldFolder> HoldFolder(const std::string& path, FolderFacts& facts,
                                           SystemError& error) override {
        return HoldFolderWin32(path, facts, error);
    }

    bool FindFile(const std::string& path, FindData& out) override {
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA(path.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return false;
        FindClose(search);
        FindData result;
        result.timesConverted = ToSystemTime(found.ftCreationTime, result.creation) &&
                                ToSystemTime(found.ftLastWriteTime, result.lastWrite);
        if (!result.timesConverted) {
            result.creation = SystemTime();
            result.lastWrite = SystemTime();
        }
        result.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        out = result;
        return true;
    }

    bool VolumeFileSystemName(const std::string& root, std::string& out) override {
        char name[MAX_PATH];
        std::memset(name, 0, sizeof name);
        if (!GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name,
                                   sizeof name)) {
            return false;
        }
        name[sizeof name - 1] = '\0';
        out = name;
        return true;
    }

    bool FileAttributes(const std::string& path, uint32_t& attributes,
                        SystemError& error) override {
        const DWORD found = GetFileAttributesA(path.c_str());
        if (!Report(found != INVALID_FILE_ATTRIBUTES, error)) return false;
        attributes = found;
        return true;
    }

    bool Identity(const std::string& path, FileIdentity& out, SystemError& error) override {
        // Attributes only and every sharing mode: the open disturbs no one, and a folder (with
        // the backup-semantics flag) opens whoever else holds it.
        const KernelHandle handle(
            CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!Report(handle.Valid(), error)) return false;
        return IdentityOf(handle.Get(), out, error);
    }

    bool MakeDirectory(const std::string& path, SystemError& error) override {
        return Report(CreateDirectoryA(path.c_str(), nullptr), error);
    }
    bool RemoveEmptyDirectory(const std::string& path, SystemError& error) override {
        return Report(RemoveDirectoryA(path.c_str()), error);
    }
    bool RemoveFile(const std::string& path, SystemError& error) override {
        return Report(DeleteFileA(path.c_str()), error);
    }
    bool SetAttributes(const std::string& path, uint32_t attributes, SystemError& error) override {
        return Report(SetFileAttributesA(path.c_str(), attributes), error);
    }
    bool RenameFile(const std::string& from, const std::string& to, SystemError& error) override {
        return Report(MoveFileA(from.c_str(), to.c_str()), error);
    }

    bool FreeSpace(const std::string& folder, uint64_t& bytes, SystemError& error) override {
        ULARGE_INTEGER available{};
        if (!Report(GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr), error)) {
            return false;
        }
        bytes = available.QuadPart;
        return true;
    }

    bool TempFolder(std::string& out) override {
        char path[MAX_PATH];
        std::memset(path, 0, sizeof path);
        const DWORD length = GetTempPathA(sizeof path, path);
        // 0 is a failure; sizeof path or more is the size the path would need: it did not fit.
        if (length == 0 || length >= sizeof path) return false;
        out.assign(path, length);
        return true;
    }
};

}  // namespace

std::unique_ptr<FileSystem> CreateWin32FileSystem() { return std::make_unique<Win32FileSystem>(); }

}  // namespace mivetrak
