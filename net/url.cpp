// Placeholder definition so that the tree links while this file is being written.
#include "net/url.h"

namespace mivetrak {
int SplitUrl(const CodePage&, const std::string&, std::string&, int&, std::string&,
             std::string&) {
    return 0;
}
}  // namespace mivetrak
