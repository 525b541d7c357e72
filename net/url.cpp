#include "net/url.h"

#include <algorithm>
#include <charconv>

#include "platform/ascii_text.h"
#include "platform/log.h"

namespace mivetrak {

namespace {

constexpr size_t kNone = std::string::npos;

// The reading of the log, which has no code page at hand: every byte a character of its own.
class ByteCodePage final : public CodePage {
public:
    bool IsLeadByte(unsigned char) const override { return false; }
    bool FromUtf8Exactly(const std::string&, std::string& ansi) const override {
        ansi.clear();
        return false;
    }
};

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsSchemeChar(char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// The length of the scheme that text starts with; 0 when it starts with none, as a relative
// reference does.
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

void SplitAuthority(const std::string& authority, UrlReference& parts) {
    parts.hasAuthority = true;
    const size_t at = authority.rfind('@');
    if (at == kNone) {
        parts.hostAndPort = authority;
        return;
    }
    parts.userInfo = authority.substr(0, at);
    parts.hostAndPort = authority.substr(at + 1);
}

// What a request asks the server for: the path after its first slash, and the query.
std::string RequestPath(const UrlReference& parts) {
    std::string path = parts.path.empty() ? std::string() : parts.path.substr(1);
    if (parts.hasQuery) path += "?" + parts.query;
    return path;
}

// The old reading of a text that is no URL with a host: the host would follow "://", or stand at
// the start, and end at the first character that may follow a host.
std::string WithoutLoginBeforeHost(std::string_view text) {
    const size_t separator = text.find("://");
    const size_t hostStart = separator == std::string_view::npos ? 0 : separator + 3;
    const size_t hostEnd = std::min(text.find_first_of("/\\?#", hostStart), text.size());
    const size_t at = text.substr(hostStart, hostEnd - hostStart).rfind('@');
    if (at == std::string_view::npos) return std::string(text);
    return std::string(text.substr(0, hostStart)) + std::string(text.substr(hostStart + at + 1));
}

// Whether the authority of url reads the same byte by byte, as the log reads it, as by the
// characters of the code page, as a transfer reads it. They differ only where a lead byte stands
// before a '/', '?' or '#', which no code page of the system has as a second byte; in such a URL
// the log would name another host than the one the transfer connects to, or show the user
// information.
bool ReadAlikeByBytes(const CodePage& codePage, const std::string& url) {
    const ByteCodePage bytes;
    const UrlReference byCharacters = SplitReference(codePage, url);
    const UrlReference byBytes = SplitReference(bytes, url);
    return byCharacters.hostAndPort == byBytes.hostAndPort &&
           byCharacters.userInfo == byBytes.userInfo;
}

}  // namespace

UrlReference SplitReference(const CodePage& codePage, const std::string& text) {
    const std::string url = text.substr(0, FindCharMb(codePage, text, '#'));
    UrlReference parts;
    size_t pos = 0;
    const size_t schemeLength = SchemeLength(url);
    if (schemeLength != 0) {
        parts.scheme = url.substr(0, schemeLength);
        pos = schemeLength + 1;
    }
    if (url.compare(pos, 2, "//") == 0) {
        const size_t end = FindFirstOf(codePage, url, "/?", pos + 2);
        SplitAuthority(url.substr(pos + 2, end - pos - 2), parts);
        pos = end;
    }
    const size_t question = FindCharMb(codePage, url, '?', pos);
    parts.path = url.substr(pos, question == kNone ? kNone : question - pos);
    if (question != kNone) {
        parts.hasQuery = true;
        parts.query = url.substr(question + 1);
    }
    return parts;
}

std::string ComposeReference(const UrlReference& parts) {
    std::string url = parts.scheme.empty() ? std::string() : parts.scheme + ":";
    if (parts.hasAuthority) {
        url += "//" + parts.hostAndPort;
    } else if (parts.path.compare(0, 2, "//") == 0) {
        // Without a host, a path that starts with "//" would be read as one: "/." keeps it a
        // path, and the next resolution takes the dot out again.
        url += "/.";
    }
    url += parts.path;
    if (parts.hasQuery) url += "?" + parts.query;
    return url;
}

bool LeadingDigits(std::string_view text, int& value) {
    // from_chars would also take a leading minus sign; a digit must come first.
    if (text.empty() || text[0] < '0' || text[0] > '9') {
        value = 0;
        return true;
    }
    int parsed = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), parsed).ec != std::errc()) {
        return false;
    }
    value = parsed;
    return true;
}

bool SplitUrl(const CodePage& codePage, const std::string& url, std::string& scheme, int& port,
              std::string& host, std::string& path) {
    const UrlReference parts = SplitReference(codePage, url);
    if (parts.scheme.empty() || !parts.hasAuthority) return false;
    std::string request = RequestPath(parts);
    if (parts.scheme.size() > kSchemeBuffer - 1 || parts.hostAndPort.size() > kHostBuffer - 1 ||
        request.size() > kPathBuffer - 1) {
        return false;
    }
    std::string hostText = parts.hostAndPort;
    std::string portText = "0";
    const size_t portColon = FindCharMb(codePage, hostText, ':');
    if (portColon != kNone) {
        if (portColon + 1 < hostText.size()) portText = hostText.substr(portColon + 1);
        hostText.resize(portColon);
    }
    int portValue = 0;
    if (!LeadingDigits(portText, portValue)) return false;
    scheme = parts.scheme;
    host = std::move(hostText);
    path = std::move(request);
    port = portValue;
    return true;
}

bool ConnectPort(int urlPort, uint16_t defaultPort, uint16_t& out) {
    if (urlPort == 0) {
        out = defaultPort;
        return true;
    }
    if (urlPort < 0 || urlPort > 65535) return false;
    out = static_cast<uint16_t>(urlPort);
    return true;
}

bool ParseTransferUrl(const CodePage& codePage, const std::string& url, TransferUrl& out) {
    struct Scheme {
        const char* name;
        InternetService service;
        bool secure;
        uint16_t defaultPort;
    };
    static constexpr Scheme kSchemes[] = {{"http", InternetService::Http, false, 80},
                                          {"https", InternetService::Http, true, 443},
                                          {"ftp", InternetService::Ftp, false, 21}};
    std::string scheme;
    TransferUrl target;
    int urlPort = 0;
    if (!SplitUrl(codePage, url, scheme, urlPort, target.host, target.path)) return false;
    if (target.host.empty() || !ReadAlikeByBytes(codePage, url)) return false;
    for (const Scheme& known : kSchemes) {
        if (!EqualsNoCase(scheme, known.name)) continue;
        target.service = known.service;
        target.secure = known.secure;
        if (!ConnectPort(urlPort, known.defaultPort, target.port)) return false;
        out = std::move(target);
        return true;
    }
    return false;
}

std::string UrlForLog(std::string_view url) {
    const ByteCodePage bytes;
    const UrlReference parts = SplitReference(bytes, std::string(url));
    if (parts.hasAuthority && !parts.scheme.empty()) {
        return QuotedForLog(ComposeReference(parts));
    }
    return QuotedForLog(WithoutLoginBeforeHost(url));
}

}  // namespace mivetrak
