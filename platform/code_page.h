#pragma once
// The active ANSI code page, and delimiter searches that step over its double-byte characters,
// so that a trail byte such as 0x5C or 0x2F is never taken for a delimiter.
//
// The program names files in the ANSI code page. Text that comes in as Unicode (the command
// line) is taken only when the code page holds every character of it exactly: the system's
// best-fit conversion would turn a fullwidth or Greek letter into a look-alike Latin one and so
// name another file.
#include <cstddef>
#include <string>

namespace mivetrak {

class CodePage {
public:
    virtual ~CodePage() = default;
    // IsDBCSLeadByte: a double-byte character of the active code page starts with this byte.
    virtual bool IsLeadByte(unsigned char byte) const = 0;
    // utf8 in the code page, character for character. False, ansi then empty, when a character
    // has no exact counterpart in it (a look-alike is not one) or utf8 is not valid UTF-8.
    virtual bool FromUtf8Exactly(const std::string& utf8, std::string& ansi) const = 0;
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
