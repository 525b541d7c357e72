#pragma once
// Size and times of local files. Each returns 1 on success and 0 on failure, and leaves its
// outputs untouched on failure.
#include <cstdint>
#include <string>

#include "platform/code_page.h"
#include "platform/file_system.h"
#include "platform/types.h"

namespace mivetrak {

int GetLocalFileSize(FileSystem& files, const std::string& path, uint32_t& size);
// error (optional) receives why a failed read failed, where the system said.
int GetLocalFileTimes(FileSystem& files, const CodePage& codePage, const std::string& path,
                      SystemTime& creation, SystemTime& lastWrite, uint32_t& size,
                      SystemError* error = nullptr);
int SetLocalFileTimes(FileSystem& files, const std::string& path, const SystemTime* creation,
                      const SystemTime& lastWrite);
// 1 if a is later, -1 if earlier, 0 if equal to the second (day of week and ms ignored).
int CompareSystemTimes(const SystemTime& a, const SystemTime& b);

}  // namespace mivetrak
