#pragma once
// What the remote query and the download share on the HTTP road: reading numbers out of header
// texts, and the status loop that lets the user log in on 401 and 407.
#include <cstdint>
#include <string>

#include "platform/internet.h"

namespace mivetrak {

// The status text as a number: its leading decimal digits; 0 when there are none or they do not
// fit an int (a status that cannot be read).
int ParseStatusText(const std::string& text);

// A Content-Length text: true only for a decimal number (digits only) that fits 32 bits.
bool ParseContentLength(const std::string& text, uint32_t& value);

// Queries the status (text, into a buffer of bufferLength bytes) and, while it is 401 or 407 and
// the user asks to retry in the password dialog, sends the request again. False when a resend
// fails; otherwise true with the final status (0 when it could not be read).
bool RunStatusLoop(Internet& internet, InternetHandle request, uint32_t bufferLength, int& status);

}  // namespace mivetrak
