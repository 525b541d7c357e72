#pragma once
// The values that differ from one deployment of the program to another: where the update index
// lies, how the program names itself to servers, which sites prove a connection on old systems,
// and whose signature a database must carry. The program's entry fills them from the build's
// configuration and hands them down; nothing below app/ reads that configuration itself.
#include <optional>
#include <string>

#include "platform/crypto.h"

namespace mivetrak {

struct Deployment {
    std::string indexUrl;
    std::string userAgent;
    // Site roots that the connection test tries on systems whose connected state cannot be
    // trusted.
    std::string makerSiteUrl;
    std::string portalSiteUrl;
    // The maker's public key: with one, only a database that carries its signature is installed;
    // without one, no signature is checked.
    std::optional<P256PublicKey> publicKey;
};

}  // namespace mivetrak
