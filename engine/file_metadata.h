#pragma once
// Size and times of local files. Each leaves its outputs untouched unless it succeeds.
#include <cstdint>
#include <string>

#include "platform/code_page.h"
#include "platform/file_system.h"
#include "platform/types.h"

namespace mivetrak {

// What GetLocalFileTimes found out about a file.
enum class LocalTimes {
    NotRead = 0,        // the file cannot be opened or found, or its times cannot be read
    Read = 1,           // creation and last-write times and the size are stored
    NotConvertible = 2  // the file was read, but its times are not dates the system converts
};

// 1 when the size is stored, 0 when the file cannot be opened.
int GetLocalFileSize(FileSystem& files, const std::string& path, uint32_t& size);
// error (optional) receives why a failed read failed, where the system said.
LocalTimes GetLocalFileTimes(FileSystem& files, const CodePage& codePage, const std::string& path,
                             SystemTime& creation, SystemTime& lastWrite, uint32_t& size,
                             SystemError* error = nullptr);
// 1 when the file was opened for the stamping (its outcome is not told), 0 when it was not.
int SetLocalFileTimes(FileSystem& files, const std::string& path, const SystemTime* creation,
                      const SystemTime& lastWrite);
// 1 if a is later, -1 if earlier, 0 if equal to the second (day of week and ms ignored).
int CompareSystemTimes(const SystemTime& a, const SystemTime& b);

}  // namespace mivetrak
