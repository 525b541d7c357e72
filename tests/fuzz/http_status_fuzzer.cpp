// The status text and the Content-Length text on any bytes: each number read is the one the text
// writes, and a length is refused exactly when the text is not a decimal number within 32 bits.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "net/http_status.h"

using namespace mivetrak;

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal digits without their leading zeros ("" for none or all zeros).
std::string Significant(const std::string& digits) {
    const size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? std::string() : digits.substr(first);
}

std::string Written(uint64_t n) { return n == 0 ? std::string() : std::to_string(n); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t leading = 0;
    while (leading < text.size() && IsDigit(text[leading])) ++leading;
    const std::string digits = Significant(text.substr(0, leading));

    // A status is its leading digits; none are read when there are none or they overflow an int.
    int status = -1;
    const bool overflows = digits.size() > 10 || (digits.size() == 10 && digits > "2147483647");
    if (ParseStatusText(text, status)) {
        FUZZ_CHECK(status >= 0);
        FUZZ_CHECK(leading > 0 && !overflows);
        FUZZ_CHECK(Written(static_cast<uint64_t>(status)) == digits);
    } else {
        FUZZ_CHECK(leading == 0 || overflows);
    }

    const bool allDigits = !text.empty() && leading == text.size();
    const bool fits = digits.size() < 10 || (digits.size() == 10 && digits <= "4294967295");
    uint32_t length = 0;
    const bool read = ParseContentLength(text, length);
    FUZZ_CHECK(read == (allDigits && fits));
    if (read) FUZZ_CHECK(Written(length) == digits);
    return 0;
}
