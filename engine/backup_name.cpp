#include "engine/backup_name.h"

#include "platform/ascii_text.h"

namespace mivetrak {

namespace {

std::string Stem(const CodePage& codePage, const std::string& target) {
    const size_t dot = FindLastCharMb(codePage, target, '.');
    return dot == std::string::npos ? target : target.substr(0, dot);
}

std::string Candidate(const CodePage& codePage, const std::string& target, const char* infix,
                      int n) {
    return Stem(codePage, target) + infix + std::to_string(n) + ".tmp";
}

// The number is read back and the name made again from it, so that only the exact spelling of
// a candidate passes (no leading zero, no sign, nothing past the range).
bool IsCandidate(const CodePage& codePage, const std::string& target, const char* infix,
                 const std::string& path) {
    const std::string prefix = Stem(codePage, target) + infix;
    constexpr size_t kSuffixLength = 4;  // ".tmp"
    if (path.size() <= prefix.size() + kSuffixLength ||
        path.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    const std::string digits =
        path.substr(prefix.size(), path.size() - prefix.size() - kSuffixLength);
    uint32_t n = 0;
    return ParseDecimal(digits, n) && n <= static_cast<uint32_t>(kMaxBackupNumber) &&
           Candidate(codePage, target, infix, static_cast<int>(n)) == path;
}

// Compared without regard to ASCII case: a double-byte name that only looks the same is skipped
// too, which costs nothing but a number.
bool Reserved(const std::vector<std::string>& reserved, const std::string& path) {
    for (const std::string& name : reserved) {
        if (EqualsNoCase(name, path)) return true;
    }
    return false;
}

// A name left over from an earlier run is never reused: it may be someone's only copy. A name
// that an unfinished installation recorded is not reused either, so that putting that one in
// order later can never touch this one's file.
std::string FirstFreeName(FileSystem& files, const CodePage& codePage, const std::string& target,
                          const char* infix, const std::vector<std::string>& reserved) {
    int n = 0;
    std::string candidate = Candidate(codePage, target, infix, n);
    while ((PathExists(files, candidate) || Reserved(reserved, candidate)) &&
           n < kMaxBackupNumber) {
        ++n;
        candidate = Candidate(codePage, target, infix, n);
    }
    return candidate;
}

}  // namespace

std::string BackupCandidate(const CodePage& codePage, const std::string& target, int n) {
    return Candidate(codePage, target, "tmp", n);
}

std::string ChooseBackupPath(FileSystem& files, const CodePage& codePage, const std::string& target,
                             const std::vector<std::string>& reserved) {
    return FirstFreeName(files, codePage, target, "tmp", reserved);
}

bool RemoveOwnFile(FileSystem& files, const std::string& path, SystemError& error) {
    uint32_t attributes = 0;
    if (files.FileAttributes(path, attributes, error) &&
        (attributes & kFileAttributeReadOnly) != 0 &&
        !files.SetAttributes(path, attributes & ~kFileAttributeReadOnly, error)) {
        return false;
    }
    return files.RemoveFile(path, error);
}

std::string ChooseSidePath(FileSystem& files, const CodePage& codePage, const std::string& target,
                           const std::vector<std::string>& reserved) {
    return FirstFreeName(files, codePage, target, "new", reserved);
}

bool IsSideName(const CodePage& codePage, const std::string& target, const std::string& path) {
    return IsCandidate(codePage, target, "new", path);
}

bool IsBackupName(const CodePage& codePage, const std::string& target, const std::string& path) {
    return IsCandidate(codePage, target, "tmp", path);
}

}  // namespace mivetrak
