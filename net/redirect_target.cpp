#include "net/redirect_target.h"

#include <vector>

#include "net/url.h"

namespace mivetrak {

namespace {

constexpr size_t kNone = std::string::npos;

// The path with its "." and ".." segments worked out: "/a/b/../c/./d" gives "/a/c/d"; a ".."
// never climbs above the root.
std::string RemoveDotSegments(const CodePage& codePage, const std::string& path) {
    const bool rooted = !path.empty() && path[0] == '/';
    std::vector<std::string> kept;
    size_t start = rooted ? 1 : 0;
    for (;;) {
        const size_t slash = FindCharMb(codePage, path, '/', start);
        const bool last = slash == kNone;
        const std::string segment = path.substr(start, last ? kNone : slash - start);
        if (segment == "..") {
            if (!kept.empty()) kept.pop_back();
        } else if (segment != ".") {
            kept.push_back(segment);
        }
        // A path that ends in a dot segment names a folder: it keeps its closing slash.
        if (last && (segment == "." || segment == "..")) kept.emplace_back();
        if (last) break;
        start = slash + 1;
    }
    std::string result = rooted ? "/" : "";
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i != 0) result += '/';
        result += kept[i];
    }
    return result;
}

// A relative path taken from the base's folder: what follows the base path's last slash is
// replaced. The base has a host, so its path is empty or starts with a slash.
std::string Merge(const CodePage& codePage, const std::string& basePath,
                  const std::string& relative) {
    if (basePath.empty()) return "/" + relative;
    return basePath.substr(0, FindLastCharMb(codePage, basePath, '/') + 1) + relative;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The text without the blanks around it; a blank that is the second byte of a double-byte
// character stays.
std::string WithoutBlanks(const CodePage& codePage, const std::string& text) {
    size_t first = 0;
    while (first < text.size() && IsBlank(text[first])) ++first;
    size_t end = first;
    for (size_t i = first; i < text.size(); i += CharLength(codePage, text, i)) {
        if (!IsBlank(text[i])) end = i + CharLength(codePage, text, i);
    }
    return text.substr(first, end - first);
}

}  // namespace

bool ResolveLocation(const CodePage& codePage, const std::string& base, const std::string& location,
                     std::string& target) {
    const std::string value = WithoutBlanks(codePage, location);
    if (value.empty()) return false;
    const UrlReference reference = SplitReference(codePage, value);
    UrlReference result;
    if (!reference.scheme.empty()) {
        result = reference;
    } else {
        const UrlReference from = SplitReference(codePage, base);
        if (from.scheme.empty() || !from.hasAuthority) return false;
        result.scheme = from.scheme;
        result.hasAuthority = true;
        result.hostAndPort = reference.hasAuthority ? reference.hostAndPort : from.hostAndPort;
        if (reference.hasAuthority || (!reference.path.empty() && reference.path[0] == '/')) {
            result.path = reference.path;
        } else if (!reference.path.empty()) {
            result.path = Merge(codePage, from.path, reference.path);
        } else {
            result.path = from.path;
        }
        // Only a reference that is a query alone (or nothing but a fragment) keeps the base's.
        const bool ownQuery =
            reference.hasAuthority || !reference.path.empty() || reference.hasQuery;
        result.hasQuery = ownQuery ? reference.hasQuery : from.hasQuery;
        result.query = ownQuery ? reference.query : from.query;
    }
    result.path = RemoveDotSegments(codePage, result.path);
    // Written out without the user information of either URL.
    target = ComposeReference(result);
    return true;
}

}  // namespace mivetrak
