#pragma once
// The modal dialog host: runs a dialog template from a module and forwards the messages that the
// portable DialogHandler deals with.
#include <windows.h>

#include "platform/windows_ui.h"

namespace mivetrak {

// Returns the value given to EndDialog, or -1 when the dialog could not be created.
int RunModalDialogWin32(HMODULE module, int templateId, DialogHandler& handler);

// Registers the window class of the common progress bar, the first time only. A template that
// holds a progress bar cannot be made into a window before; RunModalDialogWin32 calls it.
void RegisterProgressBarClass();

}  // namespace mivetrak
