#pragma once
// The running program's own path, and text of the ANSI code page in UTF-16, for the calls that
// must not lose what the ANSI code page cannot spell.
#include <string>

namespace mivetrak {

// The full path of the running program, or "" (with the system's error) when it cannot be told.
std::wstring ProgramPathW();

// Text of the ANSI code page in UTF-16.
std::wstring WidenAnsi(const std::string& text);

}  // namespace mivetrak
