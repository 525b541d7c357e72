#include "net/http_status.h"

#include "net/url.h"
#include "platform/ascii_text.h"

namespace mivetrak {

int ParseStatusText(const std::string& text) {
    int status = 0;
    return LeadingDigits(text, status) ? status : 0;
}

bool ParseContentLength(const std::string& text, uint32_t& value) {
    return ParseDecimal(text, value);
}

}  // namespace mivetrak
