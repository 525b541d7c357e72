#include "engine/backup_name.h"

namespace mivetrak {

std::string BackupCandidate(const CodePage& codePage, const std::string& target, int n) {
    const size_t dot = FindLastCharMb(codePage, target, '.');
    const std::string stem = dot == std::string::npos ? target : target.substr(0, dot);
    return stem + "tmp" + std::to_string(n) + ".tmp";
}

std::string ChooseBackupPath(FileSystem& files, const CodePage& codePage,
                             const std::string& target) {
    // A name left over from an earlier run is never reused: it may be someone's only copy.
    int n = 0;
    std::string candidate = BackupCandidate(codePage, target, n);
    while (PathExists(files, candidate) && n < kMaxBackupNumber) {
        ++n;
        candidate = BackupCandidate(codePage, target, n);
    }
    return candidate;
}

}  // namespace mivetrak
