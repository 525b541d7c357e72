#pragma once
// The deployment values compiled into this build (-DMIVETRAK_INDEX_URL=... and the others).
// There is deliberately no run-time override: an updater that may run elevated must not let its
// environment send it to another server.
#include <string>

#include "net/deployment.h"

namespace mivetrak {

Deployment CompiledDeployment();

// This build's version, as its version block gives it ("1.0.1.5"), for the log.
std::string CompiledVersion();

}  // namespace mivetrak
