#include "platform/ascii_text.h"

#include <charconv>

namespace mivetrak {

char ToLowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string ToLowerAscii(std::string text) {
    for (char& c : text) c = ToLowerAscii(c);
    return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
    }
    return true;
}

bool ParseDecimal(std::string_view text, uint32_t& value) {
    // from_chars takes no sign for an unsigned number, but would stop at the first non-digit.
    const char* const end = text.data() + text.size();
    uint32_t parsed = 0;
    const std::from_chars_result result = std::from_chars(text.data(), end, parsed);
    if (text.empty() || result.ec != std::errc() || result.ptr != end) return false;
    value = parsed;
    return true;
}

}  // namespace mivetrak
