#include "engine/file_metadata.h"

#include <limits>
#include <string_view>

#include "platform/ascii_text.h"

namespace mivetrak {

namespace {
// The volume root is held in a 10-byte buffer: at most nine characters and the terminator.
constexpr size_t kMaxRootLength = 9;
constexpr uint32_t kUnknownSize = 0xFFFFFFFFu;

// A size as the 32-bit callers see it. A file of 4 GiB or more cannot be told in 32 bits; it
// is reported as all bits set, the same value as a size the system cannot tell, so that it is
// never mistaken for a short file whose length happens to match the low word.
uint32_t ToSize32(uint64_t size) {
    return size > std::numeric_limits<uint32_t>::max() ? kUnknownSize : static_cast<uint32_t>(size);
}

// FAT, FAT32 and the like.
bool IsFatName(const std::string& name) {
    return name.size() >= 3 && EqualsNoCase(std::string_view(name).substr(0, 3), "fat");
}

// The root of the path's volume ("C:\"), or "" when the path has no backslash or its root
// would not fit the root buffer; such a path is read through a handle.
std::string VolumeRoot(const CodePage& codePage, const std::string& path) {
    const size_t slash = FindCharMb(codePage, path, '\\');
    if (slash == std::string::npos || slash + 1 > kMaxRootLength) return std::string();
    return path.substr(0, slash + 1);
}

// FAT keeps no handle open: the directory entry tells the times and the size even while
// another program holds the file.
LocalTimes ReadBySearch(FileSystem& files, const std::string& path, SystemTime& creation,
                        SystemTime& lastWrite, uint64_t& size) {
    FindData found;
    if (!files.FindFile(path, found)) return LocalTimes::NotRead;
    if (!found.timesConverted) return LocalTimes::NotConvertible;
    creation = found.creation;
    lastWrite = found.lastWrite;
    size = found.size;
    return LocalTimes::Read;
}

LocalTimes ReadThroughHandle(FileSystem& files, const std::string& path, SystemTime& creation,
                             SystemTime& lastWrite, uint64_t& size, bool& sizeKnown,
                             SystemError& error) {
    std::unique_ptr<File> file = files.OpenFile(path, FileOpenMode::ReadShareRead, error);
    if (!file) return LocalTimes::NotRead;
    switch (file->GetTimes(&creation, &lastWrite)) {
        case TimesRead::Read:
            break;
        case TimesRead::Failed:
            return LocalTimes::NotRead;
        case TimesRead::NotConvertible:
            return LocalTimes::NotConvertible;
    }
    sizeKnown = file->GetSize(size);
    return LocalTimes::Read;
}
}  // namespace

int GetLocalFileSize(FileSystem& files, const std::string& path, uint32_t& size) {
    SystemError error;
    std::unique_ptr<File> file = files.OpenFile(path, FileOpenMode::ReadShareRead, error);
    if (!file) return 0;
    uint64_t length = 0;
    if (!file->GetSize(length)) {
        size = kUnknownSize;
        return 1;
    }
    // A file of 4 GiB or more: its size cannot be given in 32 bits, so none is given. The
    // caller then takes the file for a failed download, which it is: the server's length is a
    // 32-bit number.
    if (length > std::numeric_limits<uint32_t>::max()) return 0;
    size = static_cast<uint32_t>(length);
    return 1;
}

LocalTimes GetLocalFileTimes(FileSystem& files, const CodePage& codePage, const std::string& path,
                             SystemTime& creation, SystemTime& lastWrite, uint32_t& size,
                             SystemError* error) {
    // A volume whose file system cannot be told is read through a handle.
    const std::string root = VolumeRoot(codePage, path);
    std::string fileSystemName;
    if (!root.empty()) files.VolumeFileSystemName(root, fileSystemName);

    SystemTime foundCreation;
    SystemTime foundLastWrite;
    uint64_t foundSize = 0;
    bool sizeKnown = true;
    SystemError openError;
    const LocalTimes read =
        IsFatName(fileSystemName)
            ? ReadBySearch(files, path, foundCreation, foundLastWrite, foundSize)
            : ReadThroughHandle(files, path, foundCreation, foundLastWrite, foundSize, sizeKnown,
                                openError);
    if (error != nullptr) *error = openError;
    if (read != LocalTimes::Read) return read;
    creation = foundCreation;
    lastWrite = foundLastWrite;
    size = sizeKnown ? ToSize32(foundSize) : kUnknownSize;
    return LocalTimes::Read;
}

int SetLocalFileTimes(FileSystem& files, const std::string& path, const SystemTime* creation,
                      const SystemTime& lastWrite) {
    SystemError error;
    std::unique_ptr<File> file = files.OpenFile(path, FileOpenMode::ReadWriteShareRead, error);
    if (!file) return 0;
    file->SetTimes(creation, lastWrite);  // the stamping's own outcome is not reported
    return 1;
}

int CompareSystemTimes(const SystemTime& a, const SystemTime& b) {
    const uint16_t SystemTime::*const members[] = {&SystemTime::wYear,   &SystemTime::wMonth,
                                                   &SystemTime::wDay,    &SystemTime::wHour,
                                                   &SystemTime::wMinute, &SystemTime::wSecond};
    for (const auto member : members) {
        if (a.*member > b.*member) return 1;
        if (a.*member < b.*member) return -1;
    }
    return 0;
}

}  // namespace mivetrak
