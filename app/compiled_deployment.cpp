#include "app/compiled_deployment.h"

#include "build_config.h"

namespace mivetrak {

Deployment CompiledDeployment() {
    return Deployment{kIndexUrl, kUserAgent, kMakerSiteUrl, kPortalSiteUrl};
}

}  // namespace mivetrak
