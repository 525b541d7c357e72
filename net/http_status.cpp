#include "net/http_status.h"

#include "net/url.h"
#include "platform/ascii_text.h"

namespace mivetrak {

bool ParseStatusText(const std::string& text, int& status) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    return LeadingDigits(text, status);
}

bool ParseContentLength(const std::string& text, uint32_t& value) {
    return ParseDecimal(text, value);
}

}  // namespace mivetrak
