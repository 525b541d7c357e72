// Placeholder definition so that the tree links while this file is being written.
#include "platform/win32/dialog_host.h"

namespace mivetrak {
int RunModalDialogWin32(HMODULE, int, DialogHandler&) { return -1; }
}  // namespace mivetrak
