#pragma once
// The system's cryptography on Windows CNG. Only platform/win32 and the Windows integration tests
// include this header.
#include <memory>

#include "platform/crypto.h"

namespace mivetrak {

// bcrypt.dll is loaded on first use, so that a program that never checks a signature never loads
// it; if it cannot be loaded, every call answers Unavailable with the load's error.
std::unique_ptr<Crypto> CreateWin32Crypto();

}  // namespace mivetrak
