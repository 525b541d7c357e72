#include "net/root_handles.h"

#include <tuple>
#include <utility>

namespace mivetrak {

InternetHandle RootHandles::For(const std::string& agent, SystemError& error) {
    auto found = roots_.find(agent);
    if (found != roots_.end()) return found->second.Get();
    const InternetHandle root = internet_.OpenRoot(agent, error);
    if (root == nullptr) return nullptr;
    auto added = roots_.emplace(std::piecewise_construct, std::forward_as_tuple(agent),
                                std::forward_as_tuple(internet_));
    added.first->second.Reset(root);
    return root;
}

}  // namespace mivetrak
