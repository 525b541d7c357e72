#include "net/redirect_target.h"

#include <algorithm>
#include <vector>

namespace mivetrak {

namespace {

constexpr size_t kNone = std::string::npos;

// A URL or a relative reference in its parts, without its fragment.
struct UrlParts {
    std::string scheme;  // empty: a relative reference
    bool hasAuthority = false;
    std::string authority;  // host and port, possibly with user information before an '@'
    std::string path;
    bool hasQuery = false;
    std::string query;
};

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsSchemeChar(char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// The length of the scheme that text starts with (a letter, then letters, digits, '+', '-' or
// '.', up to a ':'); 0 when it starts with none, as a relative reference does.
size_t SchemeLength(const std::string& text) {
    if (text.empty() || !IsAsciiLetter(text[0])) return 0;
    size_t i = 1;
    while (i < text.size() && IsSchemeChar(text[i])) ++i;
    return i < text.size() && text[i] == ':' ? i : 0;
}

// The first of the delimiters at or after from, or the end of text.
size_t FindFirstOf(const CodePage& codePage, const std::string& text, const char* delimiters,
                   size_t from) {
    size_t found = text.size();
    for (const char* d = delimiters; *d != '\0'; ++d) {
        found = std::min(found, FindCharMb(codePage, text, *d, from));
    }
    return found;
}

UrlParts Split(const CodePage& codePage, std::string text) {
    text.resize(std::min(text.size(), FindCharMb(codePage, text, '#')));
    UrlParts parts;
    size_t pos = 0;
    const size_t schemeLength = SchemeLength(text);
    if (schemeLength != 0) {
        parts.scheme = text.substr(0, schemeLength);
        pos = schemeLength + 1;
    }
    if (text.compare(pos, 2, "//") == 0) {
        const size_t end = FindFirstOf(codePage, text, "/?", pos + 2);
        parts.hasAuthority = true;
        parts.authority = text.substr(pos + 2, end - pos - 2);
        pos = end;
    }
    const size_t question = FindCharMb(codePage, text, '?', pos);
    parts.path = text.substr(pos, question == kNone ? kNone : question - pos);
    if (question != kNone) {
        parts.hasQuery = true;
        parts.query = text.substr(question + 1);
    }
    return parts;
}

std::string Compose(const UrlParts& parts) {
    std::string url = parts.scheme + ":";
    if (parts.hasAuthority) {
        url += "//" + parts.authority;
    } else if (parts.path.compare(0, 2, "//") == 0) {
        // Without a host, a path that starts with "//" would be read as one: "/." keeps it a
        // path, and the next resolution takes the dot out again.
        url += "/.";
    }
    url += parts.path;
    if (parts.hasQuery) url += "?" + parts.query;
    return url;
}

std::string HostAndPort(const CodePage& codePage, const std::string& authority) {
    const size_t at = FindLastCharMb(codePage, authority, '@');
    return at == kNone ? authority : authority.substr(at + 1);
}

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
    const UrlParts reference = Split(codePage, value);
    UrlParts result;
    if (!reference.scheme.empty()) {
        result = reference;
    } else {
        const UrlParts from = Split(codePage, base);
        if (from.scheme.empty() || !from.hasAuthority) return false;
        result.scheme = from.scheme;
        result.hasAuthority = true;
        result.authority = reference.hasAuthority ? reference.authority : from.authority;
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
    result.authority = HostAndPort(codePage, result.authority);
    target = Compose(result);
    return true;
}

}  // namespace mivetrak
