#pragma once
// The deployment values compiled into this build (-DMIVETRAK_INDEX_URL=... and the others).
// There is deliberately no run-time override: an updater that may run elevated must not let its
// environment send it to another server.
#include "net/deployment.h"

namespace mivetrak {

Deployment CompiledDeployment();

}  // namespace mivetrak
