#include "net/url.h"

#include <climits>

namespace mivetrak {

namespace {

// The leading decimal digits of text as an int; none gives 0. False when they overflow an int.
bool LeadingDigits(const std::string& text, int& value) {
    long long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        n = n * 10 + (c - '0');
        if (n > INT_MAX) return false;
    }
    value = static_cast<int>(n);
    return true;
}

}  // namespace

int SplitUrl(const CodePage& codePage, const std::string& url, std::string& scheme, int& port,
             std::string& host, std::string& path) {
    if (url.empty()) return 0;

    const size_t colon = FindCharMb(codePage, url, ':');
    if (colon == std::string::npos) return 0;
    if (colon > kSchemeBuffer - 1) return 0;

    // The URL reads scheme "://" host ...: the host starts two bytes after the first slash.
    const size_t firstSlash = FindCharMb(codePage, url, '/');
    if (firstSlash == std::string::npos) return 0;
    const size_t hostStart = firstSlash + 2;
    if (hostStart > url.size()) return 0;  // "x:/" ends before the host could begin
    const std::string rest = url.substr(hostStart);

    const size_t hostEnd = FindCharMb(codePage, rest, '/');
    std::string hostWithPort = rest.substr(0, hostEnd);
    std::string pathPart = hostEnd == std::string::npos ? std::string() : rest.substr(hostEnd + 1);
    if (hostWithPort.size() > kHostBuffer - 1) return 0;
    if (pathPart.size() > kPathBuffer - 1) return 0;

    std::string portText = "0";
    const size_t portColon = FindCharMb(codePage, hostWithPort, ':');
    if (portColon != std::string::npos) {
        if (portColon + 1 < hostWithPort.size()) portText = hostWithPort.substr(portColon + 1);
        hostWithPort.resize(portColon);
    }
    int portValue = 0;
    if (!LeadingDigits(portText, portValue)) return 0;

    scheme = url.substr(0, colon);
    host = std::move(hostWithPort);
    path = std::move(pathPart);
    port = portValue;
    return 1;
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

bool EqualsNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size(); ++i) {
        const char x = a[i];
        const char y = b[i];
        if (y == '\0') return false;
        const char lx = (x >= 'A' && x <= 'Z') ? static_cast<char>(x - 'A' + 'a') : x;
        const char ly = (y >= 'A' && y <= 'Z') ? static_cast<char>(y - 'A' + 'a') : y;
        if (lx != ly) return false;
    }
    return b[i] == '\0';
}

}  // namespace mivetrak
