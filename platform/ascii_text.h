#pragma once
// Comparing text without regard to the case of ASCII letters, as the program compares schemes,
// verbs, file-system names and folder paths. Bytes outside ASCII are left as they are. And
// reading a whole text as a number.
#include <cstdint>
#include <string>
#include <string_view>

namespace mivetrak {

char ToLowerAscii(char c);
std::string ToLowerAscii(std::string text);
bool EqualsNoCase(std::string_view a, std::string_view b);

// True only for a text of decimal digits alone (no sign, no blank) whose value fits 32 bits.
bool ParseDecimal(std::string_view text, uint32_t& value);

}  // namespace mivetrak
