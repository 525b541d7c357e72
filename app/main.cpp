// The program's entry and composition root: builds the Win32 platform, hands it and the
// deployment values of this build to the one application object, runs its start hook and then
// its exit hook, and exits with the exit hook's result.
#include "app/compiled_deployment.h"
#include "app/update_app.h"
#include "platform/platform.h"

int main() {
    const std::unique_ptr<mivetrak::PlatformHolder> platform = mivetrak::CreateWin32Platform();
    if (!platform) return 1;
    mivetrak::UpdateApp app(platform->Get(), mivetrak::CompiledDeployment());
    app.InitInstance();  // always false: no message loop follows
    const int exitCode = static_cast<int>(app.ExitInstance());
    // A worker left blocked on the network after a cancel still uses the application object
    // and the platform: the process ends here, before they are destroyed, and takes it along.
    if (app.WorkerLeftRunning) platform->Get().system.EndProcess(static_cast<uint32_t>(exitCode));
    return exitCode;
}
