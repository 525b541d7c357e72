// The active ANSI code page's lead bytes, and exact conversion of UTF-8 text into it.
#include <climits>
#include <string>
#include <utility>

#include "platform/win32/win32_platform.h"

namespace mivetrak {

namespace {

class Win32CodePage final : public CodePage {
public:
    bool IsLeadByte(unsigned char byte) const override { return IsDBCSLeadByte(byte) != 0; }

    bool FromUtf8Exactly(const std::string& utf8, std::string& ansi) const override {
        ansi.clear();
        if (utf8.empty()) return true;
        if (utf8.size() > static_cast<size_t>(INT_MAX)) return false;
        const int utf8Length = static_cast<int>(utf8.size());
        const int wideLength =
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), utf8Length, nullptr, 0);
        if (wideLength <= 0) return false;
        std::wstring wide(static_cast<size_t>(wideLength), L'\0');
        if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), utf8Length, &wide[0],
                                wideLength) != wideLength) {
            return false;
        }
        // A UTF-8 ANSI code page holds every character, and refuses both the flag and the
        // default-character check.
        const bool codePageIsUtf8 = GetACP() == CP_UTF8;
        const DWORD flags = codePageIsUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
        BOOL usedDefault = FALSE;
        BOOL* const usedDefaultOut = codePageIsUtf8 ? nullptr : &usedDefault;
        const int length = WideCharToMultiByte(CP_ACP, flags, wide.data(), wideLength, nullptr, 0,
                                               nullptr, usedDefaultOut);
        if (length <= 0 || usedDefault) return false;
        std::string converted(static_cast<size_t>(length), '\0');
        if (WideCharToMultiByte(CP_ACP, flags, wide.data(), wideLength, &converted[0], length,
                                nullptr, usedDefaultOut) != length ||
            usedDefault) {
            return false;
        }
        ansi = std::move(converted);
        return true;
    }
};

}  // namespace

std::unique_ptr<CodePage> CreateWin32CodePage() { return std::make_unique<Win32CodePage>(); }

}  // namespace mivetrak
