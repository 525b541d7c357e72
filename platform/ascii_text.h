#pragma once
// Comparing text without regard to the case of ASCII letters, as the program compares schemes,
// verbs, file-system names and folder paths. Bytes outside ASCII are left as they are.
#include <string>
#include <string_view>

namespace mivetrak {

char ToLowerAscii(char c);
std::string ToLowerAscii(std::string text);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace mivetrak
