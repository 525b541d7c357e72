#pragma once
// The program's one application object: start-up, folder discovery, the work folder, consent,
// the update run and the exit code.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/worker.h"
#include "net/deployment.h"
#include "platform/platform.h"

namespace mivetrak {

class UpdateApp {
public:
    UpdateApp(Platform& platform, Deployment deployment);
    virtual ~UpdateApp();
    UpdateApp(const UpdateApp&) = delete;
    UpdateApp& operator=(const UpdateApp&) = delete;

    // Always false: no message loop follows; the caller runs ExitInstance next.
    bool InitInstance();
    int32_t ExitInstance();

    // The update run (dialog beside the worker); returns when both have ended.
    void RunUpdate();
    int StartWorker();

    Platform& platform;
    // Where the update comes from and how the program names itself there.
    const Deployment deployment;

    // Fields handed to the worker before it starts.
    uint32_t DownloadLength = 0;
    int32_t ExitCode = 0;
    ModuleHandle ResourceLibraryHandle = nullptr;
    std::vector<TargetFolder> TargetFolderList;
    std::string WorkFolder;
    bool ForceUpdate = false;

    // The progress dialog's window while it exists; read by the worker before every message.
    std::atomic<WindowHandle> MainWindow{nullptr};
    // The executable's own program icon.
    IconHandle AppIcon = nullptr;
    // The worker thread, from StartWorker until the update run's wait has returned.
    std::unique_ptr<Thread> WorkerThreadHandle;

    // What the worker sees of this object (engine/worker.h).
    WorkerContext Worker{platform, TargetFolderList, WorkFolder, DownloadLength,
                         ExitCode, MainWindow,       deployment};
};

}  // namespace mivetrak
