// Placeholder definitions so that the tree links while this file is being written.
#include "app/update_app.h"

namespace mivetrak {
UpdateApp::UpdateApp(Platform& p) : platform(p) {}
UpdateApp::~UpdateApp() = default;
bool UpdateApp::InitInstance() { return false; }
int32_t UpdateApp::ExitInstance() { return ExitCode; }
}  // namespace mivetrak
