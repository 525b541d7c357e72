#include "net/url.h"

#include <charconv>

#include "platform/ascii_text.h"
#include "platform/log.h"

namespace mivetrak {

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
    if (url.empty()) return false;

    const size_t colon = FindCharMb(codePage, url, ':');
    if (colon == std::string::npos) return false;
    if (colon > kSchemeBuffer - 1) return false;

    // The URL reads scheme "://" host ...: the host starts two bytes after the first slash.
    const size_t firstSlash = FindCharMb(codePage, url, '/');
    if (firstSlash == std::string::npos) return false;
    const size_t hostStart = firstSlash + 2;
    if (hostStart > url.size()) return false;  // "x:/" ends before the host could begin
    const std::string rest = url.substr(hostStart);

    const size_t hostEnd = FindCharMb(codePage, rest, '/');
    std::string hostWithPort = rest.substr(0, hostEnd);
    std::string pathPart = hostEnd == std::string::npos ? std::string() : rest.substr(hostEnd + 1);
    if (hostWithPort.size() > kHostBuffer - 1) return false;
    if (pathPart.size() > kPathBuffer - 1) return false;

    std::string portText = "0";
    const size_t portColon = FindCharMb(codePage, hostWithPort, ':');
    if (portColon != std::string::npos) {
        if (portColon + 1 < hostWithPort.size()) portText = hostWithPort.substr(portColon + 1);
        hostWithPort.resize(portColon);
    }
    int portValue = 0;
    if (!LeadingDigits(portText, portValue)) return false;

    scheme = url.substr(0, colon);
    host = std::move(hostWithPort);
    path = std::move(pathPart);
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
    constexpr uint16_t kDefaultHttpPort = 80;
    constexpr uint16_t kDefaultFtpPort = 21;
    std::string scheme;
    TransferUrl target;
    int urlPort = 0;
    if (!SplitUrl(codePage, url, scheme, urlPort, target.host, target.path)) return false;
    if (EqualsNoCase(scheme, "http")) {
        target.service = InternetService::Http;
    } else if (EqualsNoCase(scheme, "ftp")) {
        target.service = InternetService::Ftp;
    } else {
        return false;
    }
    const bool http = target.service == InternetService::Http;
    if (!ConnectPort(urlPort, http ? kDefaultHttpPort : kDefaultFtpPort, target.port)) return false;
    out = std::move(target);
    return true;
}

std::string UrlForLog(std::string_view url) {
    // The host part begins after "://" (or at the start of a text without one) and ends at the
    // first character that may follow a host. Everything up to its last '@' is user information:
    // cut at the last rather than the first, a password that holds an '@' goes too. Bytes are
    // looked at one by one: a trail byte that happens to be '@' can only make the cut longer.
    const size_t separator = url.find("://");
    const size_t hostStart = separator == std::string_view::npos ? 0 : separator + 3;
    const size_t hostEnd = url.find_first_of("/\\?#", hostStart);
    const std::string_view host =
        url.substr(hostStart, hostEnd == std::string_view::npos ? std::string_view::npos
                                                                : hostEnd - hostStart);
    const size_t at = host.rfind('@');
    if (at == std::string_view::npos) return QuotedForLog(url);
    std::string shown(url.substr(0, hostStart));
    shown += url.substr(hostStart + at + 1);
    return QuotedForLog(shown);
}

}  // namespace mivetrak
