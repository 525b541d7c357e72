#pragma once
// The active ANSI code page, and delimiter searches that step over its double-byte characters,
// so that a trail byte such as 0x5C or 0x2F is never taken for a delimiter.
#include <cstddef>
#include <string>

namespace mivetrak {

class CodePage {
public:
    virtual ~CodePage() = default;
    // IsDBCSLeadByte: a double-byte character of the active code page starts with this byte.
    virtual bool IsLeadByte(unsigned char byte) const = 0;
};

// Length of the character that starts at i (a boundary before the end of text): a lead byte
// followed by a trail byte counts as two.
size_t CharLength(const CodePage& codePage, const std::string& text, size_t i);
// Position of the first c at or after from, or std::string::npos. from must lie on a character
// boundary.
size_t FindCharMb(const CodePage& codePage, const std::string& text, char c, size_t from = 0);
// Position of the last c, or std::string::npos.
size_t FindLastCharMb(const CodePage& codePage, const std::string& text, char c);

}  // namespace mivetrak
