#include "engine/target_folder.h"

#include "platform/ascii_text.h"

namespace mivetrak {

bool HoldsDatabase(FileSystem& files, const std::string& folder) {
    uint32_t attributes = 0;
    SystemError error;
    return files.FileAttributes(folder + kDatabaseFileName, attributes, error) &&
           (attributes & kFileAttributeDirectory) == 0;
}

bool SameFolder(const CodePage& codePage, const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (codePage.IsLeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            // A double-byte character: both bytes must match as they are.
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
    }
    return true;
}

}  // namespace mivetrak
