// Placeholder definitions so that the tree links while this file is being written.
#include "app/update_app.h"

namespace mivetrak {
void UpdateApp::RunUpdate() {}
int UpdateApp::StartWorker() { return 0; }
}  // namespace mivetrak
