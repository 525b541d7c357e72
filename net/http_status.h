#pragma once
// Numbers read out of the texts of HTTP response headers.
#include <cstdint>
#include <string>

namespace mivetrak {

// The status text as a number: its leading decimal digits. False when there are none or they do
// not fit an int (a status that cannot be read).
bool ParseStatusText(const std::string& text, int& status);

// A Content-Length text: true only for a decimal number (digits only) that fits 32 bits.
bool ParseContentLength(const std::string& text, uint32_t& value);

}  // namespace mivetrak
