#pragma once
// The machine that the application tests start the program on: the resource library with the
// texts they look for, Program Files, a temporary folder, and nothing else.
#include "fakes/fake_platform.h"
#include "resources/resource_ids.h"

namespace mivetrak {

constexpr char kTestLibrary[] = "Mivetrak.rsl";
constexpr char kTestWorkFolder[] = "C:\\Temp\\orzavtmp";

inline void ConfigureMachine(FakePlatform& f) {
    f.system.AddModule(kTestLibrary);
    f.system.SetText(kTestLibrary, IDS_CAPTION, "Caption");
    f.system.SetText(kTestLibrary, IDS_STARTUP_FAILED, "Start-up failed");
    f.system.SetText(kTestLibrary, IDS_CONFIRM, "Update now?");
    f.system.SetText(kTestLibrary, IDS_NO_FOLDER, "No folder");
    f.system.SetProgramFilesFolder("C:\\Program Files");
    f.system.SetRawCommandLine("Mivetrak.exe");
    f.files.AddDirectory("C:\\Program Files");
    f.files.AddDirectory("C:\\Temp");
    f.files.SetTempFolder("C:\\Temp\\");
    // The question is answered No unless a test says otherwise, so no update runs.
    f.ui.defaultBoxAnswer = kIdNo;
}

}  // namespace mivetrak
