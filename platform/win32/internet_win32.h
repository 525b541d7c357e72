#pragma once
// The Internet interface on WinInet.
#include <memory>

#include "platform/internet.h"

namespace mivetrak {

std::unique_ptr<Internet> CreateWin32Internet();

}  // namespace mivetrak
