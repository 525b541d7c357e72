#include "platform/log.h"

#include <cstdio>

#include "platform/system.h"

namespace mivetrak {

std::string DescribeSystemError(System& system, uint32_t code) {
    std::string text;
    system.SystemErrorText(code, text);
    // The system's texts end in a line break (and sometimes blanks), which a log line cannot hold,
    // and in a full stop, which is the sentence's to place.
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    std::string sentence = "error " + std::to_string(code);
    if (!text.empty()) sentence += ": " + text;
    return sentence;
}

std::string DescribeTime(const SystemTime& time) {
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC",
                  static_cast<unsigned>(time.wYear), static_cast<unsigned>(time.wMonth),
                  static_cast<unsigned>(time.wDay), static_cast<unsigned>(time.wHour),
                  static_cast<unsigned>(time.wMinute), static_cast<unsigned>(time.wSecond));
    return text;
}

std::string QuotedForLog(std::string_view text) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\') {
            quoted += c;
        } else {
            quoted += "\\x";
            quoted += kHexDigits[byte >> 4];
            quoted += kHexDigits[byte & 0xF];
        }
    }
    quoted += '"';
    return quoted;
}

}  // namespace mivetrak
