#include "engine/file_metadata.h"

#include <limits>
#include <string_view>

#include "platform/ascii_text.h"

namespace mivetrak {

namespace {
// The volume root is held in a 10-byte buffer: at most nine characters and the terminator.
constexpr size_t kMaxRootLength = 9;

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

bool OnFatVolume(FileSystem& files, const CodePage& codePage, const std::string& path) {
    // A volume whose file system cannot be told is read through a handle.
    const std::string root = VolumeRoot(codePage, path);
    std::string fileSystemName;
    return !root.empty() && files.VolumeFileSystemName(root, fileSystemName) &&
           IsFatName(fileSystemName);
}

struct FoundTimes {
    SystemTime creation;
    SystemTime lastWrite;
    uint64_t size = 0;
};

// FAT keeps no handle open: the directory entry tells the times and the size even while
// another program holds the file.
TimesRead ReadBySearch(FileSystem& files, const std::string& path, FoundTimes& found) {
    FindData entry;
    if (!files.FindFile(path, entry)) return TimesRead::Failed;
    if (!entry.timesConverted) return TimesRead::NotConvertible;
    found = {entry.creation, entry.lastWrite, entry.size};
    return TimesRead::Read;
}

TimesRead ReadThroughHandle(FileSystem& files, const std::string& path, FoundTimes& found,
                            SystemError& error) {
    std::unique_ptr<File> file = files.OpenFile(path, FileOpenMode::ReadShareRead, error);
    if (!file) return TimesRead::Failed;
    const TimesRead read = file->GetTimes(&found.creation, &found.lastWrite);
    if (read != TimesRead::Read) return read;
    return file->GetSize(found.size) ? TimesRead::Read : TimesRead::Failed;
}
}  // namespace

bool GetLocalFileSize(FileSystem& files, const std::string& path, uint32_t& size) {
    SystemError error;
    std::unique_ptr<File> file = files.OpenFile(path, FileOpenMode::ReadShareRead, error);
    uint64_t length = 0;
    if (!file || !file->GetSize(length)) return false;
    if (length > std::numeric_limits<uint32_t>::max()) return false;
    size = static_cast<uint32_t>(length);
    return true;
}

TimesRead GetLocalFileTimes(FileSystem& files, const CodePage& codePage, const std::string& path,
                            SystemTime& creation, SystemTime& lastWrite, uint64_t& size,
                            SystemError* error) {
    FoundTimes found;
    SystemError openError;
    const TimesRead read = OnFatVolume(files, codePage, path)
                               ? ReadBySearch(files, path, found)
                               : ReadThroughHandle(files, path, found, openError);
    if (error != nullptr) *error = openError;
    if (read != TimesRead::Read) return read;
    creation = found.creation;
    lastWrite = found.lastWrite;
    size = found.size;
    return TimesRead::Read;
}

bool SetLocalFileTimes(FileSystem& files, const std::string& path, const SystemTime* creation,
                       const SystemTime& lastWrite) {
    SystemError error;
    std::unique_ptr<File> file = files.OpenFile(path, FileOpenMode::ReadWriteShareRead, error);
    if (!file) return false;
    file->SetTimes(creation, lastWrite);  // the stamping's own outcome is not reported
    return true;
}

TimeOrder CompareSystemTimes(const SystemTime& a, const SystemTime& b) {
    const uint16_t SystemTime::*const members[] = {&SystemTime::wYear,   &SystemTime::wMonth,
                                                   &SystemTime::wDay,    &SystemTime::wHour,
                                                   &SystemTime::wMinute, &SystemTime::wSecond};
    for (const auto member : members) {
        if (a.*member > b.*member) return TimeOrder::Later;
        if (a.*member < b.*member) return TimeOrder::Earlier;
    }
    return TimeOrder::Same;
}

}  // namespace mivetrak
