#pragma once
// Where a redirect leads: the Location header as the server sent it (absolute, or relative to the
// URL that answered), read as the URL to ask next.
#include <string>

#include "platform/code_page.h"

namespace mivetrak {

// Resolves location against base, the URL that answered with it, as a browser resolves a link:
// an absolute URL stands as it is; "//host/path" keeps base's scheme; "/path" keeps its scheme
// and host; "path" and "../path" are taken from base's folder; "?query" replaces base's query.
// "." and ".." segments are worked out and the blanks around the value dropped. The result
// carries neither user information (every request logs in with its own user and password, never
// with a login that a server sends) nor a fragment (which is never sent). False when location is
// empty, or relative and base has no "scheme://" form. Whether the result can be fetched (its
// scheme, its parts' limits) is for the caller to judge. Resolved against itself, a URL comes
// out as the log may show it.
bool ResolveLocation(const CodePage& codePage, const std::string& base, const std::string& location,
                     std::string& target);

}  // namespace mivetrak
