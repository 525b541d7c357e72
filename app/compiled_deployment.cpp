#include "app/compiled_deployment.h"

#include <cstddef>

#include "build_config.h"
#include "engine/release_statement.h"

namespace mivetrak {

namespace {

// The configuration refuses any other key text; this makes sure that a key that somehow got past
// it cannot silently turn into a build that checks nothing.
constexpr bool IsKeyTextOrEmpty(const char* text, size_t length) {
    if (length == 0) return true;
    if (length != 128) return false;
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}
static_assert(IsKeyTextOrEmpty(kPublicKey, sizeof(kPublicKey) - 1),
              "the built-in public key is neither empty nor 128 hex digits");

}  // namespace

Deployment CompiledDeployment() {
    return Deployment{kIndexUrl, kUserAgent, kMakerSiteUrl, kPortalSiteUrl,
                      ParsePublicKey(kPublicKey)};
}

std::string CompiledVersion() { return kProgramVersion; }

}  // namespace mivetrak
