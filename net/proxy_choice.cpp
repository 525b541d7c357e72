#include "net/proxy_choice.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ascii_text.h"

namespace mivetrak {

namespace {

// The entries of a list apart by ';' or blanks.
std::vector<std::string_view> Entries(std::string_view list) {
    std::vector<std::string_view> entries;
    size_t start = 0;
    while (start < list.size()) {
        const size_t end = std::min(list.find_first_of("; \t", start), list.size());
        if (end > start) entries.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

bool HasServerFor(std::string_view servers, std::string_view scheme) {
    for (const std::string_view entry : Entries(servers)) {
        const size_t equals = entry.find('=');
        if (equals == std::string_view::npos) return true;
        if (EqualsNoCase(entry.substr(0, equals), scheme) && equals + 1 < entry.size()) {
            return true;
        }
    }
    return false;
}

// Whether the host matches the pattern, without regard to case; '*' matches any run of
// characters. On a mismatch the last '*' takes one more character, which keeps the work within
// the product of the two lengths.
bool Matches(std::string_view pattern, std::string_view host) {
    size_t p = 0;
    size_t h = 0;
    size_t star = std::string_view::npos;
    size_t resume = 0;
    while (h < host.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = h;
        } else if (p < pattern.size() && ToLowerAscii(pattern[p]) == ToLowerAscii(host[h])) {
            ++p;
            ++h;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            h = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool Bypassed(std::string_view bypass, const std::string& host) {
    for (const std::string_view entry : Entries(bypass)) {
        if (EqualsNoCase(entry, "<local>") ? host.find('.') == std::string::npos
                                           : Matches(entry, host)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool GoesThroughProxy(const ProxySettings& settings, const TransferUrl& url) {
    return settings.enabled && HasServerFor(settings.servers, url.secure ? "https" : "http") &&
           !Bypassed(settings.bypass, url.host);
}

}  // namespace mivetrak
