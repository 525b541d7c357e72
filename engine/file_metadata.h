#pragma once
// Size and times of local files. Each leaves its outputs untouched unless it succeeds.
#include <cstdint>
#include <string>

#include "platform/code_page.h"
#include "platform/file_system.h"
#include "platform/types.h"

namespace mivetrak {

// The file's size, when it can be opened and its size told in 32 bits (the server's lengths
// are 32-bit numbers: a file of 4 GiB or more can match none of them).
bool GetLocalFileSize(FileSystem& files, const std::string& path, uint32_t& size);
// The file's creation and last-write times and its size. error (optional) receives why a failed
// read failed, where the system said. A file whose times are not dates the system converts is
// NotConvertible; one that cannot be opened or found, or whose times or size cannot be read,
// Failed.
TimesRead GetLocalFileTimes(FileSystem& files, const CodePage& codePage, const std::string& path,
                            SystemTime& creation, SystemTime& lastWrite, uint64_t& size,
                            SystemError* error = nullptr);
// Opens the file and stamps the times on it (creation may be null: left unchanged); true when
// the file could be opened (the stamping's own outcome is not told).
bool SetLocalFileTimes(FileSystem& files, const std::string& path, const SystemTime* creation,
                       const SystemTime& lastWrite);

// How one time stands to another, to the second: day of week and milliseconds take no part.
enum class TimeOrder { Earlier, Same, Later };
// Where a stands against b.
TimeOrder CompareSystemTimes(const SystemTime& a, const SystemTime& b);

}  // namespace mivetrak
