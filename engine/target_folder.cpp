#include "engine/target_folder.h"

#include <cctype>

namespace mivetrak {

bool SameFolder(const CodePage& codePage, const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (codePage.IsLeadByte(ca) && i + 1 < a.size()) {
            // A double-byte character: both bytes must match as they are.
            if (ca != cb || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (ca < 0x80 && cb < 0x80) {
            if (std::tolower(ca) != std::tolower(cb)) return false;
        } else if (ca != cb) {
            return false;
        }
    }
    return true;
}

}  // namespace mivetrak
