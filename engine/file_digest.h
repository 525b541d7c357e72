#pragma once
// The SHA-256 of a whole file, read through a handle that lets others read.
#include <string>

#include "platform/platform.h"

namespace mivetrak {

// False when the file cannot be read or the system's cryptography fails.
bool FileDigest(Platform& platform, const std::string& path, Sha256Digest& digest);

}  // namespace mivetrak
