#include "platform/code_page.h"

namespace mivetrak {

size_t CharLength(const CodePage& codePage, const std::string& text, size_t i) {
    if (codePage.IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() &&
        text[i + 1] != '\0') {
        return 2;
    }
    return 1;
}

size_t FindCharMb(const CodePage& codePage, const std::string& text, char c, size_t from) {
    for (size_t i = from; i < text.size(); i += CharLength(codePage, text, i)) {
        if (text[i] == c) return i;
    }
    return std::string::npos;
}

size_t FindLastCharMb(const CodePage& codePage, const std::string& text, char c) {
    size_t found = std::string::npos;
    for (size_t i = 0; i < text.size(); i += CharLength(codePage, text, i)) {
        if (text[i] == c) found = i;
    }
    return found;
}

}  // namespace mivetrak
