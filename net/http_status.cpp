#include "net/http_status.h"

#include <charconv>

#include "net/url.h"

namespace mivetrak {

int ParseStatusText(const std::string& text) {
    int status = 0;
    return LeadingDigits(text, status) ? status : 0;
}

bool ParseContentLength(const std::string& text, uint32_t& value) {
    // from_chars takes no sign for an unsigned number, but would stop at the first non-digit.
    const char* const end = text.data() + text.size();
    uint32_t parsed = 0;
    const std::from_chars_result result = std::from_chars(text.data(), end, parsed);
    if (text.empty() || result.ec != std::errc() || result.ptr != end) return false;
    value = parsed;
    return true;
}

}  // namespace mivetrak
