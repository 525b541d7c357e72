// The active ANSI code page's lead bytes.
#include "platform/win32/win32_platform.h"

namespace mivetrak {

namespace {

class Win32CodePage final : public CodePage {
public:
    bool IsLeadByte(unsigned char byte) const override { return IsDBCSLeadByte(byte) != 0; }
};

}  // namespace

std::unique_ptr<CodePage> CreateWin32CodePage() { return std::make_unique<Win32CodePage>(); }

}  // namespace mivetrak
