#pragma once
// The values that differ from one deployment of the program to another: where the update index
// lies, how the program names itself to servers, and which sites prove a connection on old
// systems. The program's entry fills them from the build's configuration and hands them down;
// nothing below app/ reads that configuration itself.
#include <string>

namespace mivetrak {

struct Deployment {
    std::string indexUrl;
    std::string userAgent;
    // Site roots that the connection test tries on systems whose connected state cannot be
    // trusted.
    std::string makerSiteUrl;
    std::string portalSiteUrl;
};

}  // namespace mivetrak
