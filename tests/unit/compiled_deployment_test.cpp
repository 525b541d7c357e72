// The deployment values that this build compiles in.
#include "app/compiled_deployment.h"

#include <gtest/gtest.h>

#include <string>

namespace mivetrak {
namespace {

TEST(CompiledDeployment, NamesTheProgramAndAnHttpIndex) {
    const Deployment deployment = CompiledDeployment();
    EXPECT_EQ(deployment.userAgent, "Orvanta File Update");
    EXPECT_EQ(deployment.indexUrl.rfind("http://", 0), 0u) << deployment.indexUrl;
}

TEST(CompiledDeployment, ProbeUrlsNameOnlyASiteRoot) {
    const Deployment deployment = CompiledDeployment();
    for (const std::string& url : {deployment.makerSiteUrl, deployment.portalSiteUrl}) {
        ASSERT_EQ(url.rfind("http://", 0), 0u) << url;
        // Nothing after the host but, at most, the slash of the root.
        const size_t slash = url.find('/', 7);
        EXPECT_TRUE(slash == std::string::npos || slash == url.size() - 1) << url;
        EXPECT_GT(url.size(), 7u) << url;
    }
}

}  // namespace
}  // namespace mivetrak
