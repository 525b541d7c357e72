#pragma once
// The run's Internet root handles: one per agent name, opened by the first transfer that needs it
// and kept until the session ends. What the Internet library learns on a root serves every
// transfer made through it afterwards, above all a proxy's login: with one root for the run the
// user gives it once, not once for each of the index, the query and the download.
#include <map>
#include <string>

#include "net/internet_handle.h"
#include "platform/internet.h"

namespace mivetrak {

class RootHandles {
public:
    explicit RootHandles(Internet& internet) : internet_(internet) {}
    ~RootHandles() { CloseAll(); }
    RootHandles(const RootHandles&) = delete;
    RootHandles& operator=(const RootHandles&) = delete;

    // The root for transfers under this agent (with the preconfigured proxy), opened on first
    // use; null when it cannot be opened (error says why), and a later call tries again.
    InternetHandle For(const std::string& agent, SystemError& error);
    // Closes every root. The transfers' own handles must be closed already.
    void CloseAll() { roots_.clear(); }

private:
    Internet& internet_;
    std::map<std::string, InternetHandleOwner> roots_;
};

}  // namespace mivetrak
