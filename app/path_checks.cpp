#include "app/path_checks.h"

namespace mivetrak {

bool IsAccessiblePath(FileSystem& files, const std::string& path) {
    uint32_t attributes = 0;
    SystemError error;
    return files.FileAttributes(path, attributes, error) &&
           (attributes & kFileAttributeReadOnly) == 0;
}

bool EndsWithBackslash(const CodePage& codePage, const std::string& path) {
    return !path.empty() && FindLastCharMb(codePage, path, '\\') == path.size() - 1;
}

std::string WithFinalBackslash(const CodePage& codePage, const std::string& path) {
    return EndsWithBackslash(codePage, path) ? path : path + "\\";
}

}  // namespace mivetrak
