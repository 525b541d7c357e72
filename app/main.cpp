// The program's entry: builds the Win32 platform, runs the one application object's start hook
// and then its exit hook, and exits with the exit hook's result.
#include "app/update_app.h"
#include "platform/platform.h"

int main() {
    const std::unique_ptr<mivetrak::PlatformHolder> platform = mivetrak::CreateWin32Platform();
    if (!platform) return 1;
    mivetrak::UpdateApp app(platform->Get());
    app.InitInstance();  // always false: no message loop follows
    return app.ExitInstance();
}
