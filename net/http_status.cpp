#include "net/http_status.h"

#include <climits>

namespace mivetrak {

int ParseStatusText(const std::string& text) {
    long long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        n = n * 10 + (c - '0');
        if (n > INT_MAX) return 0;
    }
    return static_cast<int>(n);
}

bool ParseContentLength(const std::string& text, uint32_t& value) {
    if (text.empty()) return false;
    uint64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<uint64_t>(c - '0');
        if (n > UINT32_MAX) return false;
    }
    value = static_cast<uint32_t>(n);
    return true;
}

bool RunStatusLoop(Internet& internet, InternetHandle request, uint32_t bufferLength, int& status) {
    for (;;) {
        std::string text;
        status = internet.QueryInfoText(request, kHttpQueryStatusCode, bufferLength, text)
                     ? ParseStatusText(text)
                     : 0;
        if (status != 401 && status != 407) return true;
        // The platform's dialog asks for a user name and password and stores them on the
        // request; only its "send again" answer makes another round.
        if (internet.ErrorDialog(request, kErrorInternetIncorrectPassword, kErrorDialogFlags) !=
            kErrorInternetForceRetry) {
            return true;
        }
        if (!internet.SendHttpRequest(request)) return false;
    }
}

}  // namespace mivetrak
