#pragma once
// The running program's own path, and text of the ANSI code page in UTF-16, for the calls that
// must not lose what the ANSI code page cannot spell.
#include <string>

namespace mivetrak {

// The full path of the running program, or "" (with the system's error) when it cannot be told.
std::wstring ProgramPathW();

// Text of the ANSI code page in UTF-16.
std::wstring WidenAnsi(const std::string& text);

// UTF-16 text in UTF-8; a lone surrogate becomes U+FFFD, which no ANSI code page holds.
std::string Utf8FromWide(const std::wstring& text);

}  // namespace mivetrak
