// Placeholder definition so that the tree links while this file is being written.
#include "platform/win32/internet_win32.h"

namespace mivetrak {
std::unique_ptr<Internet> CreateWin32Internet() { return nullptr; }
}  // namespace mivetrak
