#include "platform/log.h"

#include "platform/system.h"

namespace mivetrak {

std::string DescribeSystemError(System& system, uint32_t code) {
    std::string text = system.SystemErrorText(code);
    // The system's texts end in a line break (and sometimes blanks), which a log line cannot hold.
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    std::string sentence = "error " + std::to_string(code);
    if (!text.empty()) sentence += ": " + text;
    return sentence;
}

}  // namespace mivetrak
