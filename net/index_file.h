#pragma once
// Reading a value from the update index, a small INI text fetched from the update server, in
// memory and with our own bounded code. It gives what the Windows profile reader gives with the
// default "" and a 260-byte buffer, but for one thing: the text is read as the bytes the server
// sent, so a UTF-16 index is not decoded.
#include <string>
#include <string_view>

namespace mivetrak {

// The value of key in section of an INI text; "" when the section or the key is missing.
//  - A UTF-8 byte-order mark at the start is skipped. Lines end at LF or CR (so CRLF too) and are
//    taken without the blanks (space, tab, vertical tab, form feed, DOS end-of-file mark) around
//    them.
//  - A line that starts with '[' and holds a ']' opens a section, named by the text between the
//    '[' and the last ']', less blanks. Any other line gives a key (the text before the first
//    '=', less trailing blanks) and its value (the text after it, less leading blanks; none
//    without a '='). Keys before the first section belong to nothing.
//  - Names are compared without regard to ASCII case. Only the first section of the name is
//    searched, and within it the first key of the name counts.
//  - The value ends at a NUL byte; a value of two bytes or more that starts and ends with the same
//    quote (" or ') loses both quotes; then it is cut to 259 bytes.
std::string ReadIndexValue(std::string_view text, const char* section, const char* key);

}  // namespace mivetrak
