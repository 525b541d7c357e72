#pragma once
// The access test of the command line's folders, and the final-backslash rule for folder paths.
#include <string>

#include "platform/code_page.h"
#include "platform/file_system.h"

namespace mivetrak {

// The path exists and is not read-only: the C runtime's test for reading and writing.
bool IsAccessiblePath(FileSystem& files, const std::string& path);
// The last character is a backslash, and not the trail byte of a double-byte character.
bool EndsWithBackslash(const CodePage& codePage, const std::string& path);
// The path with one backslash at its end.
std::string WithFinalBackslash(const CodePage& codePage, const std::string& path);

}  // namespace mivetrak
