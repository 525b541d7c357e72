#pragma once
// The convention by which the platform interfaces report why a call failed: every operation that
// can fail for a reason the program may need to tell apart takes a SystemError& as its last
// argument and leaves the system's error number in it.
#include <cstdint>

namespace mivetrak {

// GetLastError's value after a failed call, or the status that a registry function returned;
// 0 after a call that succeeded.
struct SystemError {
    uint32_t code = 0;
};

// Numbers that the program and its tests tell apart.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorOutOfMemory = 14;
constexpr uint32_t kErrorWriteFault = 29;
constexpr uint32_t kErrorReadFault = 30;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorLockViolation = 33;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorModNotFound = 126;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorFileTooLarge = 223;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorDirectory = 267;
constexpr uint32_t kErrorCancelled = 1223;

// Another program holds the file: a sharing or lock violation. Access denied is not "in use": it
// is a matter of rights, or of a folder standing where a file was expected.
inline bool IsFileInUse(uint32_t code) {
    return code == kErrorSharingViolation || code == kErrorLockViolation;
}

}  // namespace mivetrak
