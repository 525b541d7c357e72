#include "platform/file_system.h"

namespace mivetrak {

bool PathExists(FileSystem& files, const std::string& path) {
    uint32_t attributes = 0;
    SystemError error;
    return files.FileAttributes(path, attributes, error);
}

}  // namespace mivetrak
