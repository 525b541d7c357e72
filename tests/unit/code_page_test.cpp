#include "platform/code_page.h"

#include <gtest/gtest.h>

namespace mivetrak {
namespace {

// A double-byte code page in which 0x81 to 0x9F and 0xE0 to 0xFC start a two-byte character.
class ShiftJisLike : public CodePage {
public:
    bool IsLeadByte(unsigned char b) const override {
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    }
};

TEST(CodePage, TrailBytesAreNeverDelimiters) {
    ShiftJisLike cp;
    const std::string text = "C:\x95\\x\\y\\z";  // 0x95 0x5C is one character
    EXPECT_EQ(FindCharMb(cp, text, '\\'), 5u);
    EXPECT_EQ(FindLastCharMb(cp, text, '\\'), 7u);
    EXPECT_EQ(FindCharMb(cp, text, '\\', 6), 7u);
    EXPECT_EQ(FindCharMb(cp, "abc", '/'), std::string::npos);
    EXPECT_EQ(FindLastCharMb(cp, "", '/'), std::string::npos);
}

TEST(CodePage, LeadByteAtTheEndStandsAlone) {
    ShiftJisLike cp;
    const std::string text = "ab\x95";
    EXPECT_EQ(FindCharMb(cp, text, '\x95'), 2u);
}

}  // namespace
}  // namespace mivetrak
