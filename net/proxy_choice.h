#pragma once
// Whether the system sends a transfer through a proxy: only then can a request for a proxy's
// login (407) come from a proxy rather than from the server itself.
#include "net/url.h"
#include "platform/internet.h"

namespace mivetrak {

// True when the settings name a proxy for the URL's scheme (or one for every scheme) and its
// host is not among the hosts that the settings reach without one.
bool GoesThroughProxy(const ProxySettings& settings, const TransferUrl& url);

}  // namespace mivetrak
